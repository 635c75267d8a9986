// A one-line progress bar on stderr, fed by the module's progress calls. It
// appears only once a run has taken longer than a moment, and only on a
// terminal unless forced.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qf::cli {

class ProgressBar {
  public:
    // `enabled`: draw at all (a terminal, or forced); `forced`: draw from the
    // first call rather than after the delay, and also when not a terminal.
    ProgressBar(std::string label, bool enabled, bool forced, std::FILE* out = stderr);
    void update(int32_t done, int32_t total);
    // Ends the line if anything was drawn; `complete` draws 100% first.
    void finish(bool complete);

  private:
    void draw(int percent);

    std::string label_;
    bool enabled_;
    bool forced_;
    std::FILE* out_;
    bool shown_ = false;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace qf::cli
