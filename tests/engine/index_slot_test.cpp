#include "engine/index_slot.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/file_registry.h"
#include "engine/index_checker.h"
#include "engine/table_files.h"
#include "support/endian.h"
#include "tests/helpers/temp_dir.h"
#include "sample_tables.h"

namespace dezede {
namespace {

// A real table: keys built from records for the primary index, a case-insensitive string
// index and the full-text index go into the index file, are written, and read back sound
// after the table is opened again.
TEST(IndexSlot, IndexesOfATableFileSurviveReopening) {
    test::TTempDir dir;
    TFileRegistry registry;
    const TTableFileNames names = TTableFileNames::FromBase(dir.File("Employee"));
    TTableDefinition def;
    def.Fields = {test::Def("A", ftdInteger), test::Def("S", ftdString, 10)};
    TIndexDescriptor byS;
    byS.Name = "ByS";
    byS.CaseInsensitive = true;
    byS.Compression = icFull;
    byS.FieldCount = 1;
    byS.FieldNumbers[0] = 2;
    def.SecondaryIndexes = {byS};
    def.FullTextFields = {2};
    def.IndexPageSize = 1024;
    CreateTableFiles(registry, names, def);

    const char* words[] = {"abc", "ABC", "Abd", "zeta", "eta", "", "mu nu"};
    TFullTextSettings settings;
    settings.SpaceChars[' '] = true;
    for (char c = 'a'; c <= 'z'; ++c) {
        settings.IncludeChars[static_cast<uint8_t>(c)] = true;
        settings.IncludeChars[static_cast<uint8_t>(c - 'a' + 'A')] = true;
    }
    settings.StopWords = {"nu"};
    constexpr int32_t Records = 1500;
    {
        TTableFiles table(registry, names);
        table.Open();
        TIndexFile& index = table.Index();
        const auto& fields = table.Data().Fields();
        TIndexSlot primary(index, 0, fields, 0), secondary(index, 1, fields, 0), text(index, 31, fields, 0);
        std::vector<uint8_t> record(table.Data().Header().RecordSize);
        std::vector<uint8_t> key(index.Index(1).KeySize);
        std::vector<uint8_t> primaryKey(index.Index(0).KeySize);
        for (int32_t r = 1; r <= Records; ++r) {
            std::fill(record.begin(), record.end(), 0);
            StoreLE32(record.data() + kRecordIDOffset, static_cast<uint32_t>(r));
            const std::string s = words[r % 7];
            SetFieldValue(fields[1], record, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
            BuildRecordKey(index.Index(0), fields, 0, record, primaryKey);
            BuildRecordKey(index.Index(1), fields, 0, record, key);
            ASSERT_TRUE(primary.Tree().Insert(primaryKey.data(), static_cast<uint32_t>(r)));
            ASSERT_TRUE(secondary.Tree().Insert(key.data(), static_cast<uint32_t>(r)));
            UpdateFullTextKeys(text.Tree(), settings, FullTextUpperCase(0), 2, r, static_cast<uint32_t>(r), "", s);
        }
        WriteFullTextSettings(text.Pages(), settings);
        table.WriteChanges();
    }

    TTableFiles table(registry, names);
    table.Open();
    TIndexFile& index = table.Index();
    const auto& fields = table.Data().Fields();
    TIndexSlot primary(index, 0, fields, 0), secondary(index, 1, fields, 0), text(index, 31, fields, 0);
    struct Expect {
        TIndexSlot* slot;
        uint64_t keys;
    };
    // Full-text words: ABC twice per 7 records and ABD, ZETA, ETA, MU once ("nu" is a stop word).
    for (const Expect& e : {Expect{&primary, Records}, Expect{&secondary, Records}, Expect{&text, 1500u / 7 * 6 + 2}}) {
        const TIndexCheckResult check = CheckIndex(e.slot->Pages(), e.slot->Compare(), Records);
        EXPECT_TRUE(check.Sound) << check.Problem;
        EXPECT_EQ(check.KeyCount, e.keys);
    }
    EXPECT_EQ(ReadFullTextSettings(text.Pages()), settings);

    // Case-insensitive: "abc" and "ABC" make one run of keys, between empty strings and "ABD".
    TIndexPosition pos;
    ASSERT_TRUE(secondary.Tree().First(pos));
    std::vector<uint8_t> key(index.Index(1).KeySize);
    uint32_t record = 0;
    std::string previous;
    std::vector<std::string> runs;
    for (bool more = true; more; more = secondary.Tree().Next(pos)) {
        secondary.Tree().ReadPosition(pos, key.data(), record);
        const std::string s(reinterpret_cast<const char*>(key.data() + 1));
        if (runs.empty() || s != previous) runs.push_back(s);
        previous = s;
    }
    EXPECT_EQ(runs, (std::vector<std::string>{"", "ABC", "ABD", "ETA", "MU NU", "ZETA"}));
}

}  // namespace
}  // namespace dezede
