// The PSD size dialog's model: what it opens with, the three modes, the
// proportional edits and the limits of what OK stores.
#include "ui/psd_size_choice.h"
#include "values/settings_record.h"

#include <gtest/gtest.h>

namespace qf {}
using namespace qf;

namespace {

struct Shown {
    int button;
    std::string width, height;
    bool operator==(const Shown& o) const {
        return button == o.button && width == o.width && height == o.height;
    }
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
    return os << "button " << s.button << ", " << s.width << " x " << s.height;
}

Shown shown(const PsdSizeChoice& c) {
    return {c.checkedButton(), c.widthText(), c.heightText()};
}

} // namespace

namespace qf {
std::ostream& operator<<(std::ostream& os, const PsdSizeChoiceResult& r) {
    return os << "mode " << r.mode << ", " << r.width << " x " << r.height;
}
} // namespace qf

TEST(PsdSizeChoice, OpensOnTheStoredSizeOnlyInCustomMode) {
    EXPECT_EQ(shown(PsdSizeChoice(1000, 500, 3, 640, 480)), (Shown{12, "640", "480"}));
    EXPECT_EQ(shown(PsdSizeChoice(1000, 500, 2, 640, 480)), (Shown{11, "1000", "500"}));
    EXPECT_EQ(shown(PsdSizeChoice(1000, 500, 1, 640, 480)), (Shown{10, "1000", "500"}));
    // A stored mode no button stands for opens as the first.
    EXPECT_EQ(shown(PsdSizeChoice(1000, 500, 0, 640, 480)), (Shown{10, "1000", "500"}));
    EXPECT_EQ(shown(PsdSizeChoice(1000, 500, 4, 640, 480)), (Shown{10, "1000", "500"}));

    SettingsRecord s{};
    s.psdSizeChoice = 3;
    s.psdWidth = 100;
    s.psdHeight = 100;
    EXPECT_EQ(shown(PsdSizeChoice(800, 600, s)), (Shown{12, "100", "100"}));
}

TEST(PsdSizeChoice, SameProportionsFollowsTheTypedSide) {
    PsdSizeChoice c(1000, 500, 2, 0, 0);
    c.editChanged(kPsdSizeWidthEdit, "300", true);
    EXPECT_EQ(shown(c), (Shown{11, "300", "150"}));
    c.editChanged(kPsdSizeHeightEdit, "333", true);
    EXPECT_EQ(shown(c), (Shown{11, "666", "333"}));
    // Integer arithmetic truncates: 1000 x 7 / 500 = 14, 500 x 3 / 1000 = 1.
    c.editChanged(kPsdSizeHeightEdit, "7", true);
    EXPECT_EQ(c.widthText(), "14");
    c.editChanged(kPsdSizeWidthEdit, "3", true);
    EXPECT_EQ(c.heightText(), "1");
    // What the model itself wrote, reported back by the edit, changes
    // nothing else.
    c.editChanged(kPsdSizeHeightEdit, "1", false);
    EXPECT_EQ(shown(c), (Shown{11, "3", "1"}));
    // Text that is no number reads as 0.
    c.editChanged(kPsdSizeWidthEdit, "12a", true);
    EXPECT_EQ(c.heightText(), "0");
    // Huge numbers do not overflow.
    c.editChanged(kPsdSizeWidthEdit, "99999999999", true);
    EXPECT_EQ(c.heightText(), std::to_string(int64_t(2147483647) * 500 / 1000));
}

TEST(PsdSizeChoice, ProportionsWithAnEmptyDocumentSideChangeNothing) {
    PsdSizeChoice wide(0, 500, 2, 0, 0);
    wide.editChanged(kPsdSizeWidthEdit, "300", true);
    EXPECT_EQ(shown(wide), (Shown{11, "300", "500"}));
    wide.editChanged(kPsdSizeHeightEdit, "40", true);
    EXPECT_EQ(shown(wide), (Shown{11, "0", "40"}));
    PsdSizeChoice tall(1000, 0, 2, 0, 0);
    tall.editChanged(kPsdSizeHeightEdit, "40", true);
    EXPECT_EQ(shown(tall), (Shown{11, "1000", "40"}));
}

TEST(PsdSizeChoice, ButtonsRestoreOrRecomputeTheSize) {
    PsdSizeChoice c(1000, 500, 3, 640, 480);
    c.chooseButton(kPsdSizeProportionsButton);
    EXPECT_EQ(shown(c), (Shown{11, "640", "320"}));
    c.chooseButton(kPsdSizeCustomButton);
    EXPECT_EQ(shown(c), (Shown{12, "640", "320"}));
    c.editChanged(kPsdSizeWidthEdit, "50", true);
    EXPECT_EQ(shown(c), (Shown{12, "50", "320"})); // custom: no coupling
    c.chooseButton(kPsdSizeSameButton);
    EXPECT_EQ(shown(c), (Shown{10, "1000", "500"}));
    c.chooseButton(kPsdSizeOk); // not a radio button
    c.chooseButton(13);
    EXPECT_EQ(c.checkedButton(), 10);
}

TEST(PsdSizeChoice, TypingInSameSizeSwitchesToCustom) {
    PsdSizeChoice c(1000, 500, 1, 0, 0);
    c.editChanged(kPsdSizeHeightEdit, "77", false); // the model's own echo
    EXPECT_EQ(c.checkedButton(), 10);
    c.editChanged(kPsdSizeHeightEdit, "77", true);
    EXPECT_EQ(shown(c), (Shown{12, "1000", "77"}));
    c.editChanged(5, "9", true); // no such edit
    EXPECT_EQ(shown(c), (Shown{12, "1000", "77"}));
}

TEST(PsdSizeChoice, OkLimitsBothSidesToTwoToThirtyThousand) {
    struct Case {
        const char *width, *height;
        int32_t w, h;
    };
    const Case cases[] = {
        {"1", "40000", 2, 30000},      {"2", "30000", 2, 30000}, {"3", "29999", 3, 29999},
        {"0", "30001", 2, 30000},      {"", "-5", 2, 2},         {" 640 ", "480x", 640, 2},
        {"99999999999", "7", 30000, 7}};
    for (const Case& k : cases) {
        PsdSizeChoice c(1000, 500, 3, 0, 0);
        c.editChanged(kPsdSizeWidthEdit, k.width, true);
        c.editChanged(kPsdSizeHeightEdit, k.height, true);
        EXPECT_EQ(c.accept(), (PsdSizeChoiceResult{3, k.w, k.h})) << k.width << " x " << k.height;
    }
    PsdSizeChoice same(1, 40000, 1, 0, 0);
    const PsdSizeChoiceResult r = same.accept();
    EXPECT_EQ(r, (PsdSizeChoiceResult{1, 2, 30000}));
    SettingsRecord s{};
    PsdSizeChoice::store(r, s);
    EXPECT_EQ(s.psdSizeChoice, 1);
    EXPECT_EQ(s.psdWidth, 2);
    EXPECT_EQ(s.psdHeight, 30000);
}

TEST(PsdSizeChoice, EditNumbers) {
    EXPECT_EQ(psdSizeEditNumber("0"), 0);
    EXPECT_EQ(psdSizeEditNumber("  12  "), 12);
    EXPECT_EQ(psdSizeEditNumber("1 2"), 0);
    EXPECT_EQ(psdSizeEditNumber("+5"), 0);
    EXPECT_EQ(psdSizeEditNumber("-5"), 0);
    EXPECT_EQ(psdSizeEditNumber(""), 0);
    EXPECT_EQ(psdSizeEditNumber("2147483647"), 2147483647);
    EXPECT_EQ(psdSizeEditNumber("2147483648"), 2147483647);
}
