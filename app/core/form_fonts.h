#pragma once
// The font rules: newer systems show forms in "Segoe UI", older ones in
// "Tahoma", or "Arial" where "Tahoma" is not installed.

#include <string>

namespace dezede::freebolt {

class TForm;
class TScreenFonts;

extern std::string VistaFont;    // "Segoe UI"
extern std::string DefaultFont;  // "Tahoma", or "Arial" without it

// Sets DefaultFont from the screen's font list; called once at start-up.
void InitDefaultFont(const TScreenFonts& fonts);

// True when the operating system's major version is above 5.
bool IsVistaOrLater();

// Applies the font rules to a form and its labels.
void AdjustFormFonts(TForm& form);

}  // namespace dezede::freebolt
