#pragma once
// A one-line progress bar for long commands: "[#####.....]  50%  1234 records",
// redrawn in place with a carriage return only when what it shows changes, so
// that a fast loop does not flood the terminal.

#include <cstdint>
#include <ostream>
#include <string>

namespace dezede::tool {

class TProgressBar {
public:
    // total: the amount that makes 100 % (bytes of the input, for example).
    TProgressBar(std::ostream& out, uint64_t total, std::string unit);
    ~TProgressBar() { Finish(); }
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    // done: how far along (clamped to total); count: the items handled so far.
    void Update(uint64_t done, uint64_t count);
    // Ends the line (once); later updates draw nothing.
    void Finish();

private:
    static constexpr int kWidth = 40;
    std::ostream& Out_;
    uint64_t Total_;
    std::string Unit_;
    int LastPercent_ = -1;
    uint64_t LastCount_ = 0;
    bool Finished_ = false;
};

}  // namespace dezede::tool
