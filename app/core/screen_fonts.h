#pragma once
// The screen's list of installed font families, as a front end reports it.

#include <string>
#include <vector>

namespace dezede::freebolt {

class TScreenFonts {
public:
    virtual ~TScreenFonts() = default;
    virtual std::vector<std::string> Families() const = 0;
    // Family names compare without regard to case.
    bool Contains(const std::string& family) const;
};

}  // namespace dezede::freebolt
