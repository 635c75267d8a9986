// The model of the "Export PSD image" size dialog (CHOOSEPSDWITHSIZE): three
// radio buttons choose the size of the exported document (the input's size,
// its proportions, or any size), two edits hold width and height. The view
// shows the model's texts and checked button and feeds it the user's
// clicks and typing; OK gives the size to store.
#pragma once

#include <cstdint>
#include <string>

namespace qf {

struct SettingsRecord;

// The dialog's controls.
constexpr int kPsdSizeOk = 1;
constexpr int kPsdSizeCancel = 2;
constexpr int kPsdSizeWidthEdit = 3;
constexpr int kPsdSizeHeightEdit = 4;
constexpr int kPsdSizeSameButton = 10;        // "Same size as input"
constexpr int kPsdSizeProportionsButton = 11; // "Same proportions as input"
constexpr int kPsdSizeCustomButton = 12;      // "Custom size in pixels:"

// The stored size modes: the checked button less 9.
constexpr int32_t kPsdSizeModeSame = 1;
constexpr int32_t kPsdSizeModeProportions = 2;
constexpr int32_t kPsdSizeModeCustom = 3;

// What OK stores.
struct PsdSizeChoiceResult {
    int32_t mode;
    int32_t width;  // 2..30000
    int32_t height; // 2..30000
    bool operator==(const PsdSizeChoiceResult&) const = default;
};

// The number an edit's text stands for: decimal digits, spaces around them
// allowed; anything else reads as 0, and a number too large to hold as the
// largest int32_t.
int64_t psdSizeEditNumber(const std::string& text);

class PsdSizeChoice {
  public:
    // Opens on the document's filter size and the stored choice: the stored
    // size shows in the edits only in mode 3, the document's otherwise. A
    // stored mode outside 1..3 counts as 1.
    PsdSizeChoice(int32_t documentWidth, int32_t documentHeight, int32_t storedMode,
                  int32_t storedWidth, int32_t storedHeight);
    // The same from the settings record's stored choice.
    PsdSizeChoice(int32_t documentWidth, int32_t documentHeight, const SettingsRecord& stored);

    int checkedButton() const { return checked_; }
    const std::string& widthText() const { return width_; }
    const std::string& heightText() const { return height_; }

    // A click on one of the radio buttons (others are ignored).
    void chooseButton(int id);
    // The edit's text changed to `text`. Only a change the user typed into
    // the focused edit has an effect beyond the text itself; a view whose
    // edits report the model's own changes back passes focused = false.
    void editChanged(int id, const std::string& text, bool focused);

    // OK: both edits read as numbers and limited to 2..30000, and the mode.
    PsdSizeChoiceResult accept() const;
    // Stores an accepted choice in the settings record.
    static void store(const PsdSizeChoiceResult& result, SettingsRecord& s);

  private:
    void showDocumentSize();
    void heightFromWidth();
    void widthFromHeight();

    int32_t documentWidth_, documentHeight_;
    int checked_;
    std::string width_, height_;
};

} // namespace qf
