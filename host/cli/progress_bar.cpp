#include "host/cli/progress_bar.h"

#include <algorithm>

namespace qf::cli {
namespace {
constexpr auto kDelay = std::chrono::milliseconds(500);
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kWidth = 30;
} // namespace

ProgressBar::ProgressBar(std::string label, bool enabled, bool forced, std::FILE* out)
    : label_(std::move(label)), enabled_(enabled || forced), forced_(forced), out_(out),
      start_(std::chrono::steady_clock::now()) {}

void ProgressBar::update(int32_t done, int32_t total) {
    if (!enabled_ || total <= 0) return;
    const int64_t d = std::clamp<int64_t>(done, 0, total);
    const int percent = int(d * 100 / total);
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ && !forced_ && now - start_ < kDelay) return;
    if (percent == lastPercent_) return;
    if (shown_ && percent != 100 && now - lastDraw_ < kRedraw) return;
    lastDraw_ = now;
    draw(percent);
}

void ProgressBar::draw(int percent) {
    const int filled = percent * kWidth / 100;
    std::string bar(size_t(filled), '#');
    bar.append(size_t(kWidth - filled), '-');
    std::fprintf(out_, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), percent);
    std::fflush(out_);
    shown_ = true;
    lastPercent_ = percent;
}

void ProgressBar::finish(bool complete) {
    if (!shown_) return;
    if (complete && lastPercent_ != 100) draw(100);
    std::fputc('\n', out_);
    std::fflush(out_);
    shown_ = false;
}

} // namespace qf::cli
