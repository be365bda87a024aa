#include "tools/dezede/progress_bar.h"

#include <algorithm>

namespace dezede::tool {

TProgressBar::TProgressBar(std::ostream& out, uint64_t total, std::string unit)
    : Out_(out), Total_(total), Unit_(std::move(unit)) {}

void TProgressBar::Update(uint64_t done, uint64_t count) {
    if (Finished_) return;
    const uint64_t d = std::min(done, Total_);
    const int percent = Total_ == 0 ? 100 : static_cast<int>(d * 100 / Total_);
    // The count changes with every item: redraw for it only every 1000th.
    if (percent == LastPercent_ && count / 1000 == LastCount_ / 1000) return;
    LastPercent_ = percent;
    LastCount_ = count;
    const int filled = percent * kWidth / 100;
    std::string line = "\r[";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kWidth - filled), '.');
    line += "] ";
    std::string p = std::to_string(percent);
    line.append(3 - std::min<size_t>(3, p.size()), ' ');
    line += p + "%  " + std::to_string(count) + " " + Unit_;
    Out_ << line << std::flush;
}

void TProgressBar::Finish() {
    if (Finished_) return;
    Finished_ = true;
    if (LastPercent_ >= 0) Out_ << "\n" << std::flush;
}

}  // namespace dezede::tool
