#include "engine/engine_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_error.h"
#include "engine/file_registry.h"
#include "platform/fault_injection.h"
#include "support/md5.h"
#include "../helpers/temp_dir.h"
#include "test_errors.h"

namespace dezede {
namespace {

using test::ErrorOf;

using test::TTempDir;

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    // Half random, half repetitive, so that compression has work either way.
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = (i / 1000) % 2 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(i % 7);
    return v;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

class EngineFileTest : public ::testing::Test {
protected:
    TFileRegistry Registry;
    TTempDir Dir;

    // A file with these bytes, opened.
    std::unique_ptr<TEngineFile> Source(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteAll(Dir.File(name), bytes);
        auto f = std::make_unique<TEngineFile>(Registry, Dir.File(name));
        f->Open();
        return f;
    }
};

TEST_F(EngineFileTest, MarkerIsTheDigestOfItsText) {
    EXPECT_EQ(MD5Digest("DEZEDE_COMP"), kCompressedCopyMarker);
}

TEST_F(EngineFileTest, ShortTransfersRaiseErrorsNamingTheFile) {
    auto f = Source("t.dat", std::vector<uint8_t>(10, 1));
    uint8_t buf[20];
    f->Seek(kSeekFromStart, 4);
    EXPECT_EQ(f->Read(buf, 20, true), 6u);
    f->Seek(kSeekFromStart, 4);
    EXPECT_EQ(ErrorOf([&] { f->Read(buf, 20); }), DEZEDE_READERR);
    EXPECT_EQ(TErrorContextStore::Instance().Last().ErrorTableName, Dir.File("t.dat"));

    TFaultScope faults;
    faults.Arm({.Kind = TFault::FailedRead});
    f->Seek(kSeekFromStart, 0);
    EXPECT_EQ(ErrorOf([&] { f->Read(buf, 5, true); }), DEZEDE_READERR) << "a failed read is no short read";
    faults.Arm({.Kind = TFault::DiskFull});
    EXPECT_EQ(ErrorOf([&] { f->Write(buf, 8); }), DEZEDE_WRITEERR);
    faults.Arm({.Kind = TFault::FailedSync});
    EXPECT_EQ(ErrorOf([&] { f->FlushToDisk(); }), DEZEDE_WRITEERR);
    faults.Arm({.Kind = TFault::FailedTruncate});
    EXPECT_EQ(ErrorOf([&] { f->Write(nullptr, 0); }), DEZEDE_WRITEERR);
}

TEST_F(EngineFileTest, ZeroByteWriteTruncatesAtThePosition) {
    auto f = Source("t.dat", std::vector<uint8_t>(100, 1));
    {
        TFileAccess access(*f);
        f->Seek(kSeekFromStart, 40);
        f->Write(nullptr, 0);
    }
    EXPECT_EQ(f->GetFileSize(), 40u);
    EXPECT_EQ(f->Seek(kSeekFromEnd, 10), 30u);
}

// Handles of one physical file share its position: only BeginAccess/EndAccess
// keep another thread from moving it between a seek and its transfer.
TEST_F(EngineFileTest, ThreadsSeekAndWriteThroughSharedHandlesSafely) {
    WriteAll(Dir.File("t.dat"), {});
    constexpr int kThreads = 4, kBlocks = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            TEngineFile f(Registry, Dir.File("t.dat"));
            f.Open();
            std::vector<uint8_t> block(64, static_cast<uint8_t>(t + 1));
            for (int i = 0; i < kBlocks; ++i) {
                TFileAccess access(f);
                f.Seek(kSeekFromStart, static_cast<uint64_t>(i * kThreads + t) * 64);
                f.Write(block.data(), 64);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(Registry.Count(false), 0u) << "the last close unregistered the file";
    const auto bytes = ReadAll(Dir.File("t.dat"));
    ASSERT_EQ(bytes.size(), size_t{kThreads} * kBlocks * 64);
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], (i / 64) % kThreads + 1) << i;

    // Deterministically: a seek through another handle waits for EndAccess.
    TEngineFile a(Registry, Dir.File("t.dat")), b(Registry, Dir.File("t.dat"));
    a.Open();
    b.Open();
    a.BeginAccess();
    a.Seek(kSeekFromStart, 100);
    std::thread other([&] { b.Seek(kSeekFromStart, 500); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(a.Seek(kSeekFromCurrent, 0), 100u);
    a.EndAccess();
    other.join();
    EXPECT_EQ(a.Seek(kSeekFromCurrent, 0), 500u);
}

TEST_F(EngineFileTest, PlainCopyAndRestore) {
    const auto bytes = Pattern(3 * kCopyPieceSize + 123, 1);
    auto src = Source("src.dat", bytes);
    std::vector<int> reported;
    TCopyOptions options{.Progress = [&](const std::string& name, int percent) {
                             EXPECT_EQ(name, Dir.File("src.dat"));
                             reported.push_back(percent);
                         },
                         .ProgressStep = 40};
    src->CopyToFile(Dir.File("src.dbk"), options);
    EXPECT_EQ(ReadAll(Dir.File("src.dbk")), bytes) << "a plain copy is the bytes alone";
    EXPECT_EQ(reported, (std::vector<int>{0, 67, 100})) << "0, steps of at least 40 (33 is too early), then 100";

    WriteAll(Dir.File("dst.dat"), Pattern(10 * kCopyPieceSize, 2));  // longer: must be cut
    TEngineFile dst(Registry, Dir.File("dst.dat"));
    dst.Open();
    dst.CopyFromFile(Dir.File("src.dbk"), {});
    dst.Close();
    EXPECT_EQ(ReadAll(Dir.File("dst.dat")), bytes);
}

TEST_F(EngineFileTest, CompressedCopiesOfSeveralFilesInOneFileAndBack) {
    const std::vector<std::vector<uint8_t>> contents = {Pattern(200000, 3), {}, Pattern(kCopyPieceSize, 4),
                                                        Pattern(17, 5)};
    TEngineFile backup(Registry, Dir.File("all.bak"));
    backup.Create();
    for (size_t i = 0; i < contents.size(); ++i) {
        auto src = Source("f" + std::to_string(i) + ".dat", contents[i]);
        src->CopyToOpenFile(backup, {.CompressionLevel = i == 3 ? 0 : 6});
    }
    const uint64_t stored = backup.Seek(kSeekFromCurrent, 0);
    EXPECT_EQ(stored, backup.GetFileSize());
    EXPECT_LT(stored, 200000u + kCopyPieceSize) << "the repetitive halves shrank";
    const auto raw = ReadAll(Dir.File("all.bak"));
    ASSERT_GE(raw.size(), 17u);
    EXPECT_EQ(std::memcmp(raw.data(), kCompressedCopyMarker.data(), 16), 0);
    EXPECT_EQ(raw[16], 6);

    // Measure skips each copy; restore reads each back at its place.
    backup.Seek(kSeekFromStart, 0);
    std::vector<uint64_t> sizes;
    for (const auto& c : contents) sizes.push_back(backup.MeasureStoredCopy(backup, c.size()));
    EXPECT_EQ(backup.Seek(kSeekFromCurrent, 0), stored);
    backup.Seek(kSeekFromStart, 0);
    for (size_t i = 0; i < contents.size(); ++i) {
        TEngineFile out(Registry, Dir.File("r" + std::to_string(i) + ".dat"));
        out.Create();
        const uint64_t before = backup.Seek(kSeekFromCurrent, 0);
        out.CopyFromOpenFile(backup, contents[i].size(), {});
        EXPECT_EQ(backup.Seek(kSeekFromCurrent, 0) - before, sizes[i]);
        out.Close();
        EXPECT_EQ(ReadAll(Dir.File("r" + std::to_string(i) + ".dat")), contents[i]) << i;
    }

    // A stored file of its own restores to its end.
    auto one = Source("one.dat", contents[0]);
    one->CopyToFile(Dir.File("one.dbk"), {.CompressionLevel = 9});
    TEngineFile back(Registry, Dir.File("back.dat"));
    back.Create();
    back.CopyFromFile(Dir.File("one.dbk"), {});
    back.Close();
    EXPECT_EQ(ReadAll(Dir.File("back.dat")), contents[0]);
}

TEST_F(EngineFileTest, DamagedStoredCopiesRaiseErrors) {
    const auto bytes = Pattern(100000, 6);
    auto src = Source("src.dat", bytes);
    src->CopyToFile(Dir.File("good.bak"), {.CompressionLevel = 5});
    const auto good = ReadAll(Dir.File("good.bak"));

    struct TDamage {
        const char* Name;
        std::function<void(std::vector<uint8_t>&)> Apply;
        uint16_t Expected;
    };
    const TDamage cases[] = {
        {"cut inside a piece", [](auto& b) { b.resize(b.size() - 10); }, DEZEDE_READERR},
        {"cut inside a length", [](auto& b) { b.resize(17 + 2); }, DEZEDE_READERR},
        {"huge length", [](auto& b) { b[17 + 3] = 0x7F; }, DEZEDE_UNCOMPRESS},
        {"zero length early", [](auto& b) { std::fill(b.begin() + 17, b.begin() + 21, 0); }, DEZEDE_UNCOMPRESS},
        {"garbled stream", [](auto& b) { b[17 + 4 + 2] ^= 0xFF; }, DEZEDE_UNCOMPRESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto damaged = good;
        c.Apply(damaged);
        WriteAll(Dir.File("bad.bak"), damaged);
        TEngineFile in(Registry, Dir.File("bad.bak"));
        in.Open();
        TEngineFile out(Registry, Dir.File("out.dat"));
        out.Create();
        EXPECT_EQ(ErrorOf([&] { out.CopyFromOpenFile(in, bytes.size(), {}); }), c.Expected);
    }
}

}  // namespace
}  // namespace dezede
