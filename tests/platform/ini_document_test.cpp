#include "platform/ini_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>

#include "tests/platform/temp_dir.h"

namespace dezede {
namespace {

TEST(IniDocument, ReadsSectionsAndValuesWithoutCaseAndFirstMatchWins) {
    TIniDocument doc = TIniDocument::Parse(
        "; comment\r\n"
        "[Initialization]\r\n"
        "  QuintoraDataDir =  C:\\Data\\  \r\n"
        "quintoradatadir=second\n"
        "Quoted=\"  blanks kept  \"\n"
        "no equals sign here\n"
        "[initialization]\n"
        "Other=x\n");
    EXPECT_EQ(doc.Value("INITIALIZATION", "quintoradatadir"), "C:\\Data\\");
    EXPECT_EQ(doc.Value("Initialization", "Quoted"), "  blanks kept  ");
    EXPECT_FALSE(doc.Value("Initialization", "Other").has_value());  // only the first section counts
    EXPECT_FALSE(doc.Value("Missing", "QuintoraDataDir").has_value());
}

TEST(IniDocument, SetValueKeepsOtherLinesAndRoundTripsAwkwardValues) {
    TIniDocument doc = TIniDocument::Parse("# keep me\n[A]\nx=1\n\n[B]\ny=2\n");
    doc.SetValue("a", "X", "one");
    doc.SetValue("A", "z", " padded ");
    doc.SetValue("A", "q", "\"quoted\"");
    doc.SetValue("C", "w", "");
    TIniDocument again = TIniDocument::Parse(doc.Serialize());
    EXPECT_EQ(again.Value("A", "x"), "one");
    EXPECT_EQ(again.Value("A", "z"), " padded ");
    EXPECT_EQ(again.Value("A", "q"), "\"quoted\"");
    EXPECT_EQ(again.Value("B", "y"), "2");
    EXPECT_EQ(again.Value("C", "w"), "");
    EXPECT_EQ(doc.Serialize().rfind("# keep me\n[A]\nx=one\nz=", 0), 0u) << doc.Serialize();
}

TEST(IniDocument, RefusesWhatTheLineFormatCannotHold) {
    TIniDocument doc;
    EXPECT_THROW(doc.SetValue("S", "k", "two\nlines"), std::invalid_argument);
    EXPECT_THROW(doc.SetValue("S", "a=b", "v"), std::invalid_argument);
    EXPECT_THROW(doc.SetValue("S", "[x", "v"), std::invalid_argument);
    EXPECT_THROW(doc.SetValue("S]", "k", "v"), std::invalid_argument);
}

TEST(IniDocument, SaveAtomicCreatesFoldersKeepsModeAndLeavesNoSibling) {
    test::TTempDir dir;
    std::string path = dir.File("sub/deeper/registry.ini");
    TIniDocument doc;
    doc.SetValue("K", "v", "1");
    doc.SaveAtomic(path);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    doc.SetValue("K", "v", "2");
    doc.SaveAtomic(path);
    EXPECT_EQ(TIniDocument::Load(path)->Value("K", "v"), "2");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.File("sub/deeper"))) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(IniDocument, LoadTellsMissingFromOversizedFiles) {
    test::TTempDir dir;
    EXPECT_FALSE(TIniDocument::Load(dir.File("none.ini")).has_value());
    dir.Write("big.ini", std::string(TIniDocument::kMaxFileSize + 1, 'x'));
    EXPECT_THROW(TIniDocument::Load(dir.File("big.ini")), std::runtime_error);
    EXPECT_THROW(TIniDocument::Load(dir.Path()), std::runtime_error);  // a directory
}

}  // namespace
}  // namespace dezede
