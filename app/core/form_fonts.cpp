#include "app/core/form_fonts.h"

#include "app/core/form.h"
#include "app/core/screen_fonts.h"
#include "platform/ini_document.h"
#include "platform/os_version.h"

namespace dezede::freebolt {

std::string VistaFont = "Segoe UI";
std::string DefaultFont = "Tahoma";

void InitDefaultFont(const TScreenFonts& fonts) {
    DefaultFont = fonts.Contains("Tahoma") ? "Tahoma" : "Arial";
}

bool IsVistaOrLater() {
    TOSVersionInfo info;  // the ANSI query's structure, 148 bytes
    return GetVersionEx(info) && info.dwMajorVersion > 5;
}

void AdjustFormFonts(TForm& form) {
    if (IsVistaOrLater()) {
        if (!SameNameIgnoringCase(form.Font().Name, VistaFont)) {
            TFont f = form.Font();
            int size = f.Size;
            f.Name = VistaFont;
            f.Size = size + 1;
            form.SetFont(f);
        }
        for (TControl* c : form.Controls()) {
            auto* label = dynamic_cast<TLabel*>(c);
            if (!label || label->Font().Name != DefaultFont) continue;
            label->SetFontName(VistaFont);
            if (label->Font().Size == 8) label->SetFontSize(9);
        }
        return;
    }
    if (DefaultFont == "Tahoma") return;
    if (!SameNameIgnoringCase(form.Font().Name, DefaultFont)) form.SetFontName(DefaultFont);
    for (TControl* c : form.Controls()) {
        auto* label = dynamic_cast<TLabel*>(c);
        if (label && label->Font().Name != DefaultFont) label->SetFontName(DefaultFont);
    }
}

}  // namespace dezede::freebolt
