// The real module end to end under every editor our host plays: the
// complete editor, the minimal one, and the two older ones that read the
// property list themselves. Each must give the complete editor's pixels for
// the same settings: there, the defaults replayed through a descriptor; in
// the profiles, the defaults a first run starts from (no descriptor, no
// last-used settings).
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "real_module.h"
#include "scripted_module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;
using host::RunRecord;
using host::Transparency;

namespace {

struct Profile {
    const char* name;
    HostOptions options;
};

std::vector<Profile> profiles() {
    std::vector<Profile> list = {{"complete editor", HostOptions()},
                                 {"minimal editor", HostOptions::minimalEditor()},
                                 {"legacy editor", HostOptions::legacyEditor()},
                                 {"rounding editor", HostOptions::roundingEditor()}};
    // A final render reads nothing outside the filter rectangle either.
    for (Profile& p : list) p.options.inputInsideFilterRect = true;
    return list;
}

std::unique_ptr<host::Module> loadFor(const HostOptions& options, std::string& error) {
    return host::Module::load(hosttest::realModulePath(), &error, options.propertyListWalk);
}

constexpr int32_t kWidth = 500;
constexpr int32_t kHeight = 640;

// Samples that differ from pixel to pixel and channel to channel, so that a
// misplaced tile or a swapped plane cannot match by chance.
Document patterned(ColorModel model, Transparency t = Transparency::none) {
    Document d = Document::make(kWidth, kHeight, model, 8, t);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            for (int c = 0; c < d.channels(); ++c) {
                const bool alpha = t != Transparency::none && c == d.channels() - 1;
                d.setSample(x, y, c,
                            alpha ? 64 + (x + 3 * y) % 192 : (x * 5 + y * 11 + c * 67) % 256);
            }
    return d;
}

// A hard-edged selection of the rectangle (top, left, bottom, right).
Document selected(ColorModel model, const VRect& r) {
    Document d = patterned(model);
    std::vector<uint8_t> mask(size_t(kWidth) * kHeight, 0);
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) mask[size_t(y) * kWidth + size_t(x)] = 255;
    EXPECT_TRUE(d.setMask(mask));
    return d;
}

struct Case {
    const char* name;
    Document document;
    VRect selection; // the whole document without a mask
};

std::vector<Case> cases() {
    const VRect whole{0, 0, kHeight, kWidth};
    return {{"RGB", patterned(ColorModel::rgb), whole},
            {"gray", patterned(ColorModel::gray), whole},
            {"RGB with editable transparency", patterned(ColorModel::rgb, Transparency::editable),
             whole},
            {"RGB, selection (100, 100)-(300, 400)",
             selected(ColorModel::rgb, VRect{100, 100, 300, 400}), VRect{100, 100, 300, 400}},
            {"gray, selection whose top and left differ",
             selected(ColorModel::gray, VRect{37, 150, 411, 333}), VRect{37, 150, 411, 333}}};
}

// Pixels that differ, with the first one named.
std::string differences(const Document& a, const Document& b) {
    int64_t count = 0;
    std::string first;
    for (int32_t y = 0; y < a.height(); ++y)
        for (int32_t x = 0; x < a.width(); ++x)
            for (int c = 0; c < a.channels(); ++c)
                if (a.sample(x, y, c) != b.sample(x, y, c)) {
                    if (count == 0)
                        first = " (first at x " + std::to_string(x) + ", y " + std::to_string(y) +
                                ", channel " + std::to_string(c) + ")";
                    ++count;
                    break;
                }
    return std::to_string(count) + " pixels differ" + first;
}

bool pixelChanged(const Document& before, const Document& after, int32_t x, int32_t y) {
    for (int c = 0; c < before.channels(); ++c)
        if (before.sample(x, y, c) != after.sample(x, y, c)) return true;
    return false;
}

// Outside the selection nothing changed; inside it, every 8 x 8 block
// changed somewhere (a render that lands a tile elsewhere leaves a block
// untouched) and nearly every pixel did.
void expectSelectionFiltered(const Document& before, const Document& after, const VRect& sel) {
    int64_t outsideChanged = 0, insideChanged = 0;
    for (int32_t y = 0; y < before.height(); ++y)
        for (int32_t x = 0; x < before.width(); ++x) {
            const bool in = y >= sel.top && y < sel.bottom && x >= sel.left && x < sel.right;
            const bool changed = pixelChanged(before, after, x, y);
            (in ? insideChanged : outsideChanged) += changed;
        }
    EXPECT_EQ(outsideChanged, 0) << "pixels changed outside the selection";
    const int64_t area = int64_t(sel.bottom - sel.top) * (sel.right - sel.left);
    EXPECT_GE(insideChanged * 100, area * 95)
        << insideChanged << " of " << area << " selected pixels changed";
    for (int32_t by = sel.top; by < sel.bottom; by += 8)
        for (int32_t bx = sel.left; bx < sel.right; bx += 8) {
            bool changed = false;
            for (int32_t y = by; y < std::min(by + 8, sel.bottom) && !changed; ++y)
                for (int32_t x = bx; x < std::min(bx + 8, sel.right) && !changed; ++x)
                    changed = pixelChanged(before, after, x, y);
            ASSERT_TRUE(changed) << "the block at x " << bx << ", y " << by << " was not filtered";
        }
}

// Every rectangle the module asked for lies inside the filter rectangle
// (the host refuses anything else, so a refusal also fails the run).
void expectRequestsInside(const RunRecord& rec) {
    const VRect f = rec.filterRect;
    for (const host::AdvanceCall& call : rec.deliveries)
        for (const VRect& r : {call.inRect, call.outRect, call.maskRect}) {
            if (r.bottom <= r.top || r.right <= r.left) continue;
            ASSERT_TRUE(r.top >= f.top && r.left >= f.left && r.bottom <= f.bottom &&
                        r.right <= f.right)
                << "(" << r.top << ", " << r.left << ")-(" << r.bottom << ", " << r.right << ")";
        }
}

class HostProfiles : public testing::Test {
  protected:
    void SetUp() override {
        temporary = folder.fresh();
        ASSERT_FALSE(temporary.empty());
    }
    // Forgets the last-used settings: the next run starts as a first run.
    void forgetSettings() { ASSERT_FALSE(folder.fresh().empty()); }

    hosttest::PrivateTemporaryFolder folder{"profiles"};
    std::string temporary;
};

// The complete editor's pixels for the defaults replayed as an action.
Document referenceRender(PluginEntryProc entry, const Case& c, host::Descriptor defaults) {
    Document doc = c.document;
    FilterHost editor(entry);
    editor.options().inputInsideFilterRect = true;
    RunOptions ro;
    ro.descriptor = std::move(defaults);
    const RunRecord rec = editor.run(doc, ro);
    EXPECT_TRUE(rec.ok()) << c.name << ": " << host::describeResult(rec.result) << "; "
                          << rec.hostError;
    return doc;
}

TEST_F(HostProfiles, EveryProfileGivesTheCompleteEditorsPixels) {
    std::string error;
    auto complete = host::Module::load(hosttest::realModulePath(), &error);
    ASSERT_NE(complete, nullptr) << error;

    // The defaults as the module records them after a run that replayed an
    // empty action.
    host::Descriptor defaults;
    {
        Document small = Document::make(16, 16, ColorModel::rgb, 8);
        FilterHost editor(complete->entry());
        RunOptions ro;
        ro.descriptor = host::Descriptor();
        const RunRecord rec = editor.run(small, ro);
        ASSERT_TRUE(rec.ok()) << host::describeResult(rec.result) << "; " << rec.hostError;
        ASSERT_TRUE(rec.descriptorOut);
        ASSERT_GE(rec.descriptorOut->size(), 14u) << "every setting recorded";
        defaults = *rec.descriptorOut;
        EXPECT_GE(hosttest::filesIn(temporary), 1)
            << "the module keeps its files in the private folder";
    }

    for (const Case& c : cases()) {
        const Document reference = referenceRender(complete->entry(), c, defaults);
        expectSelectionFiltered(c.document, reference, c.selection);
        for (const Profile& p : profiles()) {
            SCOPED_TRACE(std::string(c.name) + " under the " + p.name);
            auto module = loadFor(p.options, error);
            ASSERT_NE(module, nullptr) << error;
            forgetSettings();
            Document doc = c.document;
            FilterHost editor(module->entry(), p.options);
            const RunRecord rec = editor.run(doc);
            EXPECT_TRUE(rec.ok()) << host::describeResult(rec.result) << " (selector "
                                  << rec.failedSelector << "); " << rec.hostError;
            expectRequestsInside(rec);
            EXPECT_TRUE(doc.bytes() == reference.bytes()) << differences(reference, doc);
            expectSelectionFiltered(c.document, doc, c.selection);
        }
    }
}

// The module's about box is modal. With a display it waits for a click
// (on Linux it is one line on standard error); this clicks for the user.
class AboutBoxCloser {
  public:
#ifdef _WIN32
    AboutBoxCloser()
        : thread_([this] {
              while (!done_) {
                  if (HWND box = FindWindowA("#32770", "About"))
                      PostMessageA(box, WM_COMMAND, IDOK, 0);
                  Sleep(50);
              }
          }) {}
    ~AboutBoxCloser() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
#endif
};

TEST_F(HostProfiles, AboutSucceedsUnderEveryProfile) {
    for (const Profile& p : profiles()) {
        std::string error;
        auto module = loadFor(p.options, error);
        ASSERT_NE(module, nullptr) << p.name << ": " << error;
        FilterHost editor(module->entry(), p.options);
        [[maybe_unused]] AboutBoxCloser closer;
        EXPECT_EQ(editor.about(), 0) << p.name;
        EXPECT_EQ(editor.parameters(), nullptr) << p.name;
        EXPECT_EQ(editor.data(), 0) << p.name;
    }
}

TEST_F(HostProfiles, TheLegacyEditorRefusesDeepDocumentsBeforeTheModuleRuns) {
    std::string error;
    const HostOptions legacy = HostOptions::legacyEditor();
    auto module = loadFor(legacy, error);
    ASSERT_NE(module, nullptr) << error;
    for (int depth : {16, 32}) {
        Document doc = Document::make(40, 30, ColorModel::rgb, depth);
        const Document before = doc;
        FilterHost editor(module->entry(), legacy);
        const RunRecord rec = editor.run(doc);
        EXPECT_EQ(rec.result, errPlugInHostInsufficient) << depth;
        EXPECT_NE(rec.hostError.find("8-bit documents only"), std::string::npos) << rec.hostError;
        EXPECT_TRUE(rec.selectors.empty());
        EXPECT_TRUE(doc.bytes() == before.bytes());
    }
}

} // namespace
