#include "app/core/form_fonts.h"

#include <gtest/gtest.h>

#include "app/core/form.h"
#include "app/core/main_form.h"
#include "tests/app/fake_front_end.h"
#include "tests/platform/temp_dir.h"

namespace dezede::freebolt {
namespace {

using dezede::test::TScopedEnv;

struct TFontCase {
    const char* name;
    const char* osMajor;
    bool tahomaInstalled;
    TFont form;           // the form's font before
    TFont ownLabel;       // a label with a font of its own
    TFont expectForm;
    TFont expectInherit;  // a label that shows the form's font
    TFont expectOwn;
};

class AdjustFormFontsTest : public ::testing::TestWithParam<TFontCase> {};

TEST_P(AdjustFormFontsTest, AppliesTheRules) {
    const TFontCase& c = GetParam();
    TScopedEnv os("QUINTORA_OS_MAJOR", c.osMajor);
    test::TFakeFrontEnd fe;
    if (c.tahomaInstalled) fe.Fonts.List = {"DejaVu Sans", "tahoma"};
    InitDefaultFont(fe.ScreenFonts());

    TForm form;
    form.SetFont(c.form);
    auto* inherit = new TLabel(&form, "inherit");
    auto* own = new TLabel(&form, "own");
    own->SetFont(c.ownLabel);
    AdjustFormFonts(form);
    EXPECT_EQ(form.Font(), c.expectForm);
    EXPECT_EQ(inherit->Font(), c.expectInherit);
    EXPECT_EQ(own->Font(), c.expectOwn);
}

const TFont Tahoma8{"Tahoma", 8}, Arial8{"Arial", 8}, Segoe9{"Segoe UI", 9}, Segoe10{"Segoe UI", 10};
INSTANTIATE_TEST_SUITE_P(
    Cases, AdjustFormFontsTest,
    ::testing::Values(
        TFontCase{"OlderWithTahomaChangesNothing", "5", true, Tahoma8, {"Courier New", 10}, Tahoma8, Tahoma8,
                  {"Courier New", 10}},
        TFontCase{"OlderWithoutTahomaSwitchesAllToArial", "5", false, Tahoma8, {"Courier New", 10}, Arial8, Arial8,
                  {"Arial", 10}},
        TFontCase{"NewerTahoma8BecomesSegoe9", "6", true, Tahoma8, Tahoma8, Segoe9, Segoe9, Segoe9},
        // Without Tahoma the default font is Arial, so a label's own Tahoma is left alone.
        TFontCase{"NewerWithoutTahomaConvertsArialLabels", "10", false, Tahoma8, Arial8, Segoe9, Segoe9, Segoe9},
        TFontCase{"NewerFormAlreadyInSegoeKeepsItsSize", "10", true, {"segoe ui", 10}, {"Tahoma", 12},
                  {"segoe ui", 10}, {"segoe ui", 10}, {"Segoe UI", 12}},
        TFontCase{"NewerOnlyExactDefaultNameCounts", "10", true, Segoe10, {"TAHOMA", 8}, Segoe10, Segoe10,
                  {"TAHOMA", 8}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainFormFonts, NewerSystemShowsSegoeUI9) {
    TScopedEnv os("QUINTORA_OS_MAJOR", nullptr);
    test::TFakeFrontEnd fe;
    InitDefaultFont(fe.ScreenFonts());
    TfrmVovazorad form;
    EXPECT_EQ(form.Font(), Segoe9);
    EXPECT_EQ(form.lblAccess->Font(), Segoe9);
    EXPECT_EQ(form.cmdCancel->Font(), Segoe9);
    EXPECT_EQ(Tahoma8.Height(), -11);
}

}  // namespace
}  // namespace dezede::freebolt
