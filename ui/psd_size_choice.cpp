#include "ui/psd_size_choice.h"

#include <cstdint>
#include <limits>

#include "export/psd_writer.h"
#include "values/settings_record.h"

namespace qf {

int64_t psdSizeEditNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    const size_t first = i;
    int64_t value = 0;
    constexpr int64_t kLargest = std::numeric_limits<int32_t>::max();
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        if (value > kLargest) value = kLargest;
        ++i;
    }
    if (i == first) return 0;
    while (i < text.size() && text[i] == ' ') ++i;
    return i == text.size() ? value : 0;
}

PsdSizeChoice::PsdSizeChoice(int32_t documentWidth, int32_t documentHeight, int32_t storedMode,
                             int32_t storedWidth, int32_t storedHeight)
    : documentWidth_(documentWidth), documentHeight_(documentHeight) {
    if (storedMode < kPsdSizeModeSame || storedMode > kPsdSizeModeCustom)
        storedMode = kPsdSizeModeSame;
    checked_ = int(storedMode) + 9;
    if (storedMode == kPsdSizeModeCustom) {
        width_ = std::to_string(storedWidth);
        height_ = std::to_string(storedHeight);
    } else {
        showDocumentSize();
    }
}

PsdSizeChoice::PsdSizeChoice(int32_t documentWidth, int32_t documentHeight,
                             const SettingsRecord& stored)
    : PsdSizeChoice(documentWidth, documentHeight, stored.psdSizeChoice, stored.psdWidth,
                    stored.psdHeight) {}

void PsdSizeChoice::showDocumentSize() {
    width_ = std::to_string(documentWidth_);
    height_ = std::to_string(documentHeight_);
}

void PsdSizeChoice::heightFromWidth() {
    if (documentWidth_ == 0) return;
    height_ = std::to_string(int64_t(documentHeight_) * psdSizeEditNumber(width_) /
                             int64_t(documentWidth_));
}

void PsdSizeChoice::widthFromHeight() {
    if (documentHeight_ == 0) return;
    width_ = std::to_string(int64_t(documentWidth_) * psdSizeEditNumber(height_) /
                            int64_t(documentHeight_));
}

void PsdSizeChoice::chooseButton(int id) {
    if (id < kPsdSizeSameButton || id > kPsdSizeCustomButton) return;
    checked_ = id;
    if (id == kPsdSizeSameButton) showDocumentSize();
    if (id == kPsdSizeProportionsButton) heightFromWidth();
}

void PsdSizeChoice::editChanged(int id, const std::string& text, bool focused) {
    if (id != kPsdSizeWidthEdit && id != kPsdSizeHeightEdit) return;
    (id == kPsdSizeWidthEdit ? width_ : height_) = text;
    if (!focused) return;
    if (checked_ == kPsdSizeSameButton) {
        checked_ = kPsdSizeCustomButton;
    } else if (checked_ == kPsdSizeProportionsButton) {
        if (id == kPsdSizeWidthEdit)
            heightFromWidth();
        else
            widthFromHeight();
    }
}

PsdSizeChoiceResult PsdSizeChoice::accept() const {
    return PsdSizeChoiceResult{int32_t(checked_ - 9), clampPsdSide(psdSizeEditNumber(width_)),
                               clampPsdSide(psdSizeEditNumber(height_))};
}

void PsdSizeChoice::store(const PsdSizeChoiceResult& result, SettingsRecord& s) {
    s.psdSizeChoice = result.mode;
    s.psdWidth = result.width;
    s.psdHeight = result.height;
}

} // namespace qf
