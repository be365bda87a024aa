#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "platform/windows_error.h"
#include "../helpers/temp_dir.h"

namespace dezede {
namespace {

using test::TTempDir;

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(FileNamesTest, ResolvesNamesIgnoringCase) {
    TTempDir dir;
    Touch(dir.File("REASON.DAT"));
    Touch(dir.File("reason.dat"));
    Touch(dir.File("Users.Dat"));
    EXPECT_EQ(ResolveFileName(dir.File("reason.dat")), dir.File("reason.dat")) << "the exact name first";
    EXPECT_EQ(ResolveFileName(dir.File("Reason.dat")), dir.File("REASON.DAT")) << "else the first in byte order";
    EXPECT_EQ(ResolveFileName(dir.File("USERS.DAT")), dir.File("Users.Dat"));
    EXPECT_EQ(ResolveFileName(dir.File("New.dat")), dir.File("New.dat"));
    EXPECT_EQ(ResolveFileName("relative.dat").front(), '/');
}

TEST(FileNamesTest, RenameRefusesAnExistingTarget) {
    TTempDir dir;
    Touch(dir.File("a.dat"));
    Touch(dir.File("B.DAT"));
    EXPECT_EQ(OSRenameFile(dir.File("a.dat"), dir.File("B.DAT")), kWinAlreadyExists);
    EXPECT_EQ(OSRenameFile(dir.File("a.dat"), dir.File("b.dat")), kWinAlreadyExists) << "in any letter case";
    EXPECT_EQ(OSRenameFile(dir.File("a.dat"), dir.File("c.dat")), 0u);
    EXPECT_TRUE(OSFileExists(dir.File("c.dat")));
    EXPECT_FALSE(OSFileExists(dir.File("a.dat")));
    EXPECT_EQ(OSRenameFile(dir.File("c.dat"), dir.File("C.dat")), 0u) << "a change of case only";
    EXPECT_EQ(OSRenameFile(dir.File("gone.dat"), dir.File("x.dat")), kWinFileNotFound);
    EXPECT_EQ(OSDeleteFile(dir.File("C.dat")), 0u);
    EXPECT_EQ(OSDeleteFile(dir.File("C.dat")), kWinFileNotFound);
}

TEST(FileNamesTest, ListsFilesByExtensionIgnoringCase) {
    TTempDir dir;
    for (const char* n : {"a.dat", "B.DAT", "c.idx", "d.dat.bak", "dat"}) Touch(dir.File(n));
    std::filesystem::create_directory(dir.File("sub.dat"));
    auto names = OSListFiles(dir.Path(), ".dat");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"B.DAT", "a.dat"}));
}

TEST(FileNamesTest, ErrnoMapsToWindowsErrors) {
    const std::pair<int, uint32_t> cases[] = {
        {ENOENT, 2}, {ENOTDIR, 3}, {EMFILE, 4}, {ENFILE, 4}, {EACCES, 5}, {EPERM, 5}, {EROFS, 5}, {EBADF, 6},
        {ENOMEM, 8}, {ENODEV, 15}, {ENXIO, 15}, {EXDEV, 17}, {EEXIST, 183}};
    for (const auto& [err, win] : cases) EXPECT_EQ(WindowsErrorFromErrno(err), win) << err;
    EXPECT_NE(WindowsErrorFromErrno(EIO), WindowsErrorFromErrno(ENOSPC)) << "unknown errors stay distinct";
    EXPECT_EQ(WindowsErrorFromErrno(EIO) & kWinUnknownBase, kWinUnknownBase);
}

}  // namespace
}  // namespace dezede
