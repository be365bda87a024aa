#include "app/core/screen_fonts.h"

#include "platform/ini_document.h"

namespace dezede::freebolt {

bool TScreenFonts::Contains(const std::string& family) const {
    for (const std::string& f : Families())
        if (SameNameIgnoringCase(f, family)) return true;
    return false;
}

}  // namespace dezede::freebolt
