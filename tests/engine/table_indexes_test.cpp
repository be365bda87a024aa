// The indexes of an open table on real table files: numbering and lookup, key upkeep against a
// model, untouched pages for unchanged keys, unique checks, key fills, full-text words and
// the rebuild of a recreated index file.

#include "engine/table_indexes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/file_registry.h"
#include "engine/index_slot.h"
#include "engine/table_files.h"
#include "support/endian.h"
#include "tests/helpers/temp_dir.h"
#include "sample_tables.h"
#include "test_errors.h"

namespace dezede {
namespace {

using test::Def;
using test::ErrorOf;
using Bytes = std::vector<uint8_t>;

// Field numbers of the test table.
constexpr int16_t FId = 1, FName = 2, FScore = 3, FNote = 4, FMemo = 5, FExtra = 6;

struct TRow {
    int32_t Id = 0;
    std::string Name;
    double Score = 0;
    std::string Note;
    std::string Memo;  // kept by the caller, as a cursor keeps BLOB values
    int32_t Extra = 0;
    int32_t RecordId = 0;
};

TIndexDescriptor IndexOn(const char* name, std::vector<std::pair<int16_t, bool>> fields, bool unique,
                         bool caseInsensitive = false, uint8_t compression = icNone) {
    TIndexDescriptor d;
    d.Name = name;
    d.Unique = unique;
    d.CaseInsensitive = caseInsensitive;
    d.Compression = compression;
    d.FieldCount = static_cast<uint8_t>(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        d.FieldNumbers[i] = fields[i].first;
        d.DescendingFields[i] = fields[i].second;
    }
    return d;
}

TTableDefinition EmployeeTable(uint32_t locale) {
    TTableDefinition def;
    def.Fields = {Def("Id", ftdInteger),     Def("Name", ftdString, 20),       Def("Score", ftdFloat),
                  Def("Note", ftdString, 40), Def("Memo", ftdBlob, 0, fsdMemo), Def("Extra", ftdInteger)};
    def.SecondaryIndexes = {
        IndexOn("ByName", {{FName, false}}, false, true, icFull),
        IndexOn("ById", {{FId, true}}, true),
        IndexOn("ByNameScore", {{FName, true}, {FScore, false}}, false, false, icDuplicate),
        IndexOn("ByScoreName", {{FScore, true}, {FName, false}}, true, false, icTrailing),
    };
    def.FullTextFields = {FNote, FMemo};
    def.Locale = locale;
    def.IndexPageSize = 1024;
    return def;
}

std::span<const uint8_t> TextBytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class TableIndexes : public ::testing::Test {
protected:
    test::TTempDir Dir;
    TFileRegistry Registry;
    std::unique_ptr<TTableFiles> Table;
    std::unique_ptr<TTableIndexes> Indexes;

    void Open(uint32_t locale = 0, const char* name = "Employee", const TEngineHooks* hooks = nullptr) {
        const TTableFileNames names = TTableFileNames::FromBase(Dir.File(name));
        CreateTableFiles(Registry, names, EmployeeTable(locale));
        Table = std::make_unique<TTableFiles>(Registry, names);
        Table->Open();
        Indexes = std::make_unique<TTableIndexes>(Table->Data(), Table->Index(), hooks);
    }
    const TFieldDescriptor& Field(int16_t number) const { return *Table->Data().FindField(number); }

    Bytes Record(const TRow& r) const {
        Bytes rec(Table->Data().Header().RecordSize, 0);
        StoreLE32(rec.data() + kRecordIDOffset, static_cast<uint32_t>(r.RecordId));
        uint8_t v[8];
        StoreLE32(v, static_cast<uint32_t>(r.Id));
        SetFieldValue(Field(FId), rec, std::span<const uint8_t>(v, 4));
        StoreLE32(v, static_cast<uint32_t>(r.Extra));
        SetFieldValue(Field(FExtra), rec, std::span<const uint8_t>(v, 4));
        StoreLEDouble(v, r.Score);
        SetFieldValue(Field(FScore), rec, std::span<const uint8_t>(v, 8));
        SetFieldValue(Field(FName), rec, TextBytes(r.Name), Table->Data().Header().Locale);
        SetFieldValue(Field(FNote), rec, TextBytes(r.Note));
        return rec;
    }
    static TTableIndexes::TTextOf MemoOf(const TRow& r) {
        return [memo = r.Memo](const TFieldDescriptor&, std::span<const uint8_t>) { return memo; };
    }
    // Every (key, record number) of an index in tree order.
    static std::vector<std::pair<Bytes, uint32_t>> Walk(TIndexTree& tree) {
        std::vector<std::pair<Bytes, uint32_t>> out;
        TIndexPosition pos;
        for (bool ok = tree.First(pos); ok; ok = tree.Next(pos)) {
            Bytes key(tree.Shape().KeySize);
            uint32_t recNo = 0;
            tree.ReadPosition(pos, key.data(), recNo);
            out.emplace_back(std::move(key), recNo);
        }
        return out;
    }
};

TFullTextSettings WordSettings() {
    TFullTextSettings s;
    s.SpaceChars[' '] = true;
    for (int c = 'a'; c <= 'z'; ++c) s.IncludeChars[static_cast<size_t>(c)] = s.IncludeChars[static_cast<size_t>(c - 32)] = true;
    s.StopWords = {"the"};
    return s;
}

TEST_F(TableIndexes, NumberingLookupAndDamagedDescriptors) {
    Open();
    TIndexFile& index = Table->Index();
    ASSERT_EQ(Indexes->Count(), 5);
    EXPECT_EQ(Indexes->FindIndex(""), 0);
    EXPECT_EQ(Indexes->FindIndex("byscorename"), 4);
    EXPECT_EQ(Indexes->FindIndex("ByNam"), -1);
    EXPECT_EQ(Indexes->KeySize(3), 22 + 9 + 4);
    EXPECT_EQ(Indexes->FieldCount(3), 2);
    EXPECT_EQ(Indexes->PrefixLength(3, 1), 22u);
    EXPECT_EQ(Indexes->PrefixLength(3, 2), 35u) << "all fields: with the record-ID suffix";
    EXPECT_TRUE(Indexes->HasFullText());

    // Slot 1 dropped, slot 7 defined: numbers follow the defined slots in slot order.
    index.SetSecondaryIndex(1, TIndexDescriptor{});
    TIndexDescriptor late = IndexOn("Late", {{FExtra, false}}, false);
    CheckIndexDefinition(late, false, Table->Data().Fields(), index.PageSize(), "Employee");
    index.SetSecondaryIndex(7, late);
    Indexes->Reload();
    ASSERT_EQ(Indexes->Count(), 5);
    std::vector<size_t> slots;
    for (int i = 0; i < Indexes->Count(); ++i) slots.push_back(Indexes->Slot(i));
    EXPECT_EQ(slots, (std::vector<size_t>{0, 2, 3, 4, 7}));
    EXPECT_EQ(Indexes->FindIndex("LATE"), 4);
    EXPECT_EQ(Indexes->FindIndex("ByName"), -1);

    // A key size that does not match the fields, and a root page beyond the file.
    late.KeySize = 3;
    index.SetSecondaryIndex(7, late);
    EXPECT_EQ(ErrorOf([&] { Indexes->Reload(); }), DEZEDE_HEADERCORRUPT);
    index.SetSecondaryIndex(7, TIndexDescriptor{});
    Indexes->Reload();
    index.SetRootPage(2, 999);
    EXPECT_EQ(ErrorOf([&] { Indexes->InsertKeys(Record({.Id = 1, .RecordId = 1}), 1); }), DEZEDE_INDEXCORRUPT);
}

// Random appends, modifies and deletes: afterwards every index holds exactly the keys of the
// model's records in its order, and the full-text index exactly their words.
TEST_F(TableIndexes, KeysOfEveryIndexFollowAModel) {
    Open();
    TDataFile& data = Table->Data();
    Indexes->SetTextSettings(WordSettings());
    std::mt19937 rng(7);
    auto pick = [&](std::vector<std::string> from) { return from[rng() % from.size()]; };
    auto words = [&] {
        std::string s;
        for (int n = static_cast<int>(rng() % 4); n > 0; --n) s += pick({"alpha", "Beta", "gamma", "the", "delta"}) + " ";
        return s;
    };
    auto randomRow = [&] {
        return TRow{.Id = static_cast<int32_t>(rng() % 60),
                    .Name = pick({"", "ann", "Ann", "bob", "BOB", "carl", "dora", "eve", "zed"}),
                    .Score = std::vector<double>{-1.5, 0, 2, 3.25, 1e6}[rng() % 5],
                    .Note = words(),
                    .Memo = words(),
                    .Extra = static_cast<int32_t>(rng() % 3)};
    };
    std::map<uint32_t, TRow> model;
    auto duplicate = [&](const TRow& r, uint32_t self) {
        for (const auto& [n, m] : model)
            if (n != self && (m.Id == r.Id || (m.Score == r.Score && m.Name == r.Name))) return true;
        return false;
    };
    int violations = 0;
    for (int step = 0; step < 600; ++step) {
        const int op = static_cast<int>(rng() % 10);
        if (model.empty() || op < 5) {
            TRow r = randomRow();
            r.RecordId = data.NextRecordID();
            const Bytes rec = Record(r);
            const bool dup = ErrorOf([&] { Indexes->CheckUniqueKeys(rec, nullptr); }) == DEZEDE_KEYVIOL;
            ASSERT_EQ(dup, duplicate(r, 0)) << "step " << step;
            if (dup) {
                ++violations;
                continue;
            }
            const uint32_t recNo = data.InsertRecord(rec);
            Indexes->InsertKeys(rec, recNo, MemoOf(r));
            model[recNo] = r;
        } else {
            auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
            const uint32_t recNo = it->first;
            const TRow old = it->second;
            const Bytes oldRec = Record(old);
            if (op < 8) {
                TRow r = randomRow();
                if (rng() % 2) r.Id = old.Id;
                if (rng() % 2) {
                    r.Name = old.Name;
                    r.Score = old.Score;
                }
                r.RecordId = old.RecordId;
                const Bytes rec = Record(r);
                const bool dup = ErrorOf([&] { Indexes->CheckUniqueKeys(rec, oldRec.data()); }) == DEZEDE_KEYVIOL;
                ASSERT_EQ(dup, duplicate(r, recNo)) << "step " << step;
                if (dup) continue;
                data.WriteRecord(recNo, rec);
                Indexes->UpdateKeys(oldRec, rec, recNo, MemoOf(old), MemoOf(r));
                it->second = r;
            } else {
                Indexes->DeleteKeys(oldRec, recNo, MemoOf(old));
                data.DeleteRecord(recNo);
                model.erase(it);
            }
        }
    }
    EXPECT_GT(violations, 0);
    Table->WriteChanges();

    for (int i = 0; i < Indexes->Count(); ++i) {
        std::vector<std::pair<Bytes, uint32_t>> expected;
        for (const auto& [recNo, row] : model) {
            Bytes key(Indexes->KeySize(i));
            Indexes->BuildKey(i, Record(row), key);
            expected.emplace_back(std::move(key), recNo);
        }
        std::sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
            return Indexes->Compare(i, a.first.data(), b.first.data(), a.first.size()) < 0;
        });
        EXPECT_EQ(Walk(Indexes->Tree(i)), expected) << "index " << i;
    }

    std::set<std::pair<Bytes, uint32_t>> expectedWords;
    for (const auto& [recNo, row] : model)
        for (const auto& [field, text] : {std::pair{FNote, row.Note}, std::pair{FMemo, row.Memo}})
            for (const std::string& w : SplitWords(text, WordSettings(), FullTextUpperCase(0))) {
                Bytes key(kFullTextKeySize);
                BuildFullTextKey(static_cast<uint16_t>(field), w, row.RecordId, key.data());
                expectedWords.emplace(std::move(key), recNo);
            }
    TIndexSlot text(Table->Index(), kFullTextIndexSlot, data.Fields(), 0);
    const auto walked = Walk(text.Tree());
    EXPECT_EQ(std::set(walked.begin(), walked.end()), expectedWords);
    EXPECT_EQ(walked.size(), expectedWords.size());
}

TEST_F(TableIndexes, AnUpdateLeavingEveryKeyUnchangedTouchesNoIndexPage) {
    Open();
    TIndexFile& index = Table->Index();
    Indexes->SetTextSettings(WordSettings());
    std::vector<TRow> rows;
    for (int32_t n = 1; n <= 200; ++n) {
        rows.push_back({.Id = n, .Name = "name" + std::to_string(n % 17), .Score = n * 0.5, .Note = "alpha beta",
                        .Memo = "gamma", .RecordId = n});
        const Bytes rec = Record(rows.back());
        Indexes->InsertKeys(rec, Table->Data().InsertRecord(rec), MemoOf(rows.back()));
    }
    Table->WriteChanges();

    TRow changed = rows[99];
    changed.Extra = 42;  // in no index
    index.ResetStatistics();
    Indexes->UpdateKeys(Record(rows[99]), Record(changed), 100, MemoOf(rows[99]), MemoOf(changed));
    EXPECT_EQ(index.Statistics().BufferRequests, 0u);
    EXPECT_FALSE(index.HeaderMarkedChanged());

    changed.Memo = "gamma delta";  // one new word: only the full-text index changes
    Indexes->UpdateKeys(Record(rows[99]), Record(changed), 100, MemoOf(rows[99]), MemoOf(changed));
    EXPECT_GT(index.Statistics().BufferRequests, 0u);
}

TEST_F(TableIndexes, UniqueChecksNameTableAndIndexAndFailedUpkeepLeavesNoKey) {
    Open();
    const TRow a{.Id = 1, .Name = "ann", .Score = 1, .RecordId = 1};
    const TRow b{.Id = 2, .Name = "bob", .Score = 2, .RecordId = 2};
    for (const TRow& r : {a, b}) Indexes->InsertKeys(Record(r), static_cast<uint32_t>(r.RecordId));

    auto violation = [&](const std::function<void()>& f) {
        try {
            f();
        } catch (const EDEZEDEEngineError& e) {
            return std::to_string(e.ErrorCode) + " " + e.ErrorTableName + "." + e.ErrorIndexName;
        }
        return std::string("none");
    };
    TRow c = b;
    c.Id = 1;  // ById first in index order, then ByScoreName
    c.Score = 1, c.Name = "ann";
    c.RecordId = 3;
    EXPECT_EQ(violation([&] { Indexes->CheckUniqueKeys(Record(c), nullptr); }), "9729 Employee.ById");
    c.Id = 3;
    EXPECT_EQ(violation([&] { Indexes->CheckUniqueKeys(Record(c), nullptr); }), "9729 Employee.ByScoreName");
    // Modifies: a record keeping its own keys is no violation; taking another's is.
    TRow a2 = a;
    a2.Note = "changed";
    EXPECT_EQ(violation([&] { Indexes->CheckUniqueKeys(Record(a2), Record(a).data()); }), "none");
    TRow b2 = b;
    b2.Id = 1;
    EXPECT_EQ(violation([&] { Indexes->CheckUniqueKeys(Record(b2), Record(b).data()); }), "9729 Employee.ById");

    // Upkeep without the checks: the duplicate is refused and the keys put in before it are
    // taken out (an append) or put back (a modify).
    std::vector<std::vector<std::pair<Bytes, uint32_t>>> before;
    for (int i = 0; i < Indexes->Count(); ++i) before.push_back(Walk(Indexes->Tree(i)));
    c.Id = 1;
    EXPECT_EQ(violation([&] { Indexes->InsertKeys(Record(c), 3); }), "9729 Employee.ById");
    b2.Name = "carl";  // ByName changes before ById refuses
    EXPECT_EQ(violation([&] { Indexes->UpdateKeys(Record(b), Record(b2), 2); }), "9729 Employee.ById");
    for (int i = 0; i < Indexes->Count(); ++i) EXPECT_EQ(Walk(Indexes->Tree(i)), before[i]) << "index " << i;
}

// For each case a key's leading part is kept and the rest filled low and high: every key that
// begins with that part lies between the two fills; with whole fields kept, no other key does.
TEST_F(TableIndexes, FilledKeysEncloseEveryKeyWithTheirLeadingPart) {
    struct TCase {
        const char* Index;
        int Fields;        // whole leading fields kept
        int PartialChars;  // and this many characters of the next field (-1: none)
    };
    const TCase cases[] = {
        {"ByName", 1, -1},       // ascending string, then the record-ID suffix
        {"ByName", 0, 2},        // inside an ascending string
        {"ByNameScore", 1, -1},  // after a descending string: an ascending number and the suffix
        {"ByNameScore", 0, 2},   // inside a descending string
        {"ByScoreName", 1, -1},  // after a descending number: an ascending string
        {"ByScoreName", 1, 1},   // inside it
        {"ById", 0, 0},          // only the presence byte of a descending number
    };
    const std::vector<std::string> names = {"",    "a",    "ab",     "AB",     "abc", "ab\xff", "abz", "ab\xe4",
                                            "\xe4" "b", "ab{", "ab~", "b",   "\xdf",   "zz",  "\xff\xff", "Zebra"};
    for (const uint32_t locale : {0u, 1031u}) {
        if (!IsLocaleInstalled(locale)) continue;
        Open(locale, locale ? "German" : "Ansi");
        std::vector<Bytes> records;
        int32_t id = 0;
        for (const std::string& name : names)
            for (const double score : {-2.0, 0.0, 7.5}) {
                ++id;
                records.push_back(Record({.Id = id % 5 ? id : -id, .Name = name, .Score = score, .RecordId = id}));
            }
        for (const TCase& c : cases) {
            const int i = Indexes->FindIndex(c.Index);
            ASSERT_GE(i, 0);
            const size_t size = Indexes->KeySize(i);
            const size_t prefix = Indexes->PrefixLength(i, c.Fields) + (c.PartialChars >= 0 ? 1 + c.PartialChars : 0);
            std::vector<Bytes> keys;
            for (const Bytes& rec : records) {
                keys.emplace_back(size);
                Indexes->BuildKey(i, rec, keys.back());
            }
            for (const Bytes& probe : keys) {
                Bytes low = probe, high = probe;
                Indexes->FillKey(i, low, prefix, false);
                Indexes->FillKey(i, high, prefix, true);
                for (const Bytes& k : keys) {
                    const bool begins = c.PartialChars >= 0 ? std::equal(k.begin(), k.begin() + prefix, probe.begin())
                                                            : Indexes->Compare(i, k.data(), probe.data(), prefix) == 0;
                    const bool inside = Indexes->Compare(i, low.data(), k.data(), size) <= 0 &&
                                        Indexes->Compare(i, k.data(), high.data(), size) <= 0;
                    if (begins) {
                        EXPECT_TRUE(inside) << "locale " << locale << " " << c.Index << " " << c.Fields;
                    } else if (c.PartialChars < 0) {
                        EXPECT_FALSE(inside) << "locale " << locale << " " << c.Index << " " << c.Fields;
                    }
                }
            }
        }
    }
}

TEST_F(TableIndexes, TextHooksShapeTheIndexedWords) {
    TEngineHooks hooks;
    std::vector<std::string> seen;
    hooks.OnTextIndexFilter = [&](const std::string& table, const std::string& field, std::string& text) {
        seen.push_back(table + "." + field);
        if (field == "Memo") text += " extra";
    };
    hooks.OnTextIndexTokenFilter = [](const std::string&, const std::string&, const std::string& token,
                                      bool& include) { include = token != "secret"; };
    Open(0, "Employee", &hooks);
    Indexes->SetTextSettings(WordSettings());
    const TRow r{.Id = 1, .Note = "alpha secret Secret", .Memo = "beta", .RecordId = 9};
    Indexes->InsertKeys(Record(r), 4, MemoOf(r));
    EXPECT_EQ(seen, (std::vector<std::string>{"Employee.Note", "Employee.Memo"}));

    TIndexSlot text(Table->Index(), kFullTextIndexSlot, Table->Data().Fields(), 0);
    std::vector<std::string> words;
    for (const auto& [key, recNo] : Walk(text.Tree())) {
        words.push_back(std::to_string(LoadBE16(key.data() + 1)) + ":" + reinterpret_cast<const char*>(key.data() + 3));
        EXPECT_EQ(recNo, 4u);
    }
    std::sort(words.begin(), words.end());
    EXPECT_EQ(words, (std::vector<std::string>{"4:ALPHA", "4:SECRET", "5:BETA", "5:EXTRA"}))
        << "the token filter sees words as written";
    Indexes->DeleteKeys(Record(r), 4, MemoOf(r));
    EXPECT_TRUE(text.Tree().Empty());
}

// A table whose index file was deleted is opened with a new, empty one; the rebuild leaves
// one index, the primary on the record ID, holding every active record.
TEST(TableIndexesRebuild, RecreatedIndexFileGetsThePrimaryKeyOfEveryActiveRecord) {
    test::TTempDir dir;
    TDataEngine engine;
    engine.Startup("dezede.lck");
    TDataSession* session = engine.CreateSession();
    TDataDirectory* db = session->OpenDataDir("db", dir.Path(), false, false);
    db->CreateTable("Employee", EmployeeTable(0));
    std::vector<int32_t> activeIds;
    {
        TDataTable* t = db->OpenTable("Employee", "", true, false, false);
        t->BeginWrite();
        TTableIndexes indexes(*t->DataFile(), *t->IndexFile());
        const auto& fields = t->DataFile()->Fields();
        Bytes rec(t->DataFile()->Header().RecordSize, 0);
        for (int32_t n = 1; n <= 300; ++n) {
            StoreLE32(rec.data() + kRecordIDOffset, static_cast<uint32_t>(t->DataFile()->NextRecordID()));
            uint8_t v[8];
            StoreLE32(v, static_cast<uint32_t>(n));
            SetFieldValue(fields[0], rec, std::span<const uint8_t>(v, 4));  // Id and Score unique
            StoreLEDouble(v, n);
            SetFieldValue(fields[2], rec, std::span<const uint8_t>(v, 8));
            const uint32_t recNo = t->DataFile()->InsertRecord(rec);
            indexes.InsertKeys(rec, recNo);
        }
        for (uint32_t n = 1; n <= 300; n += 3) t->DataFile()->DeleteRecord(n);
        for (int32_t n = 1; n <= 300; ++n)
            if ((n - 1) % 3 != 0) activeIds.push_back(n);
        t->WriteChanges();
        t->EndWrite();
        db->CloseTable(t);
    }
    ASSERT_TRUE(std::filesystem::remove(dir.File("Employee.idx")));
    {
        TDataTable* t = db->OpenTable("Employee", "", true, false, false);
        ASSERT_TRUE(t->IndexRecreated());
        t->BeginWrite();
        RebuildRecreatedIndex(*t->DataFile(), *t->IndexFile());
        t->WriteChanges();
        t->EndWrite();
        db->CloseTable(t);
    }

    TFileRegistry registry;
    TTableFiles files(registry, TTableFileNames::FromBase(dir.File("Employee")));
    files.Open();
    files.Index().VerifyIndexHeader(files.Data().Fields());
    EXPECT_EQ(files.Index().Index(kFullTextIndexSlot).Name, "Sys Text");
    EXPECT_EQ(files.Index().Index(kFullTextIndexSlot).Compression, icFull);
    EXPECT_EQ(files.Index().Header().SecondaryCount, 0);
    TTableIndexes indexes(files.Data(), files.Index());
    ASSERT_EQ(indexes.Count(), 1);
    EXPECT_FALSE(indexes.HasFullText());
    std::vector<int32_t> ids;
    TIndexPosition pos;
    for (bool ok = indexes.Tree(0).First(pos); ok; ok = indexes.Tree(0).Next(pos)) {
        uint8_t key[5];
        uint32_t recNo = 0;
        indexes.Tree(0).ReadPosition(pos, key, recNo);
        ids.push_back(static_cast<int32_t>(LoadBE32(key + 1) ^ 0x80000000u));
        EXPECT_EQ(recNo, static_cast<uint32_t>(ids.back())) << "records were numbered as their IDs";
    }
    EXPECT_EQ(ids, activeIds);
}

}  // namespace
}  // namespace dezede
