// Table cursor against SQLite on the same data: a table of ten mixed fields
// with two secondary indexes (a non-unique one on a string field, a unique
// one on a 64-bit integer field).
//   append  N records in one transaction, committed at the end
//   scan    every record in record-number order (SQLite: rowid order)
//   scan    every record in the string index's order
//   find    100,000 searches of random keys on the unique index
// Both sides work on files in the same temporary directory, SQLite with its
// default journal, synchronous and cache settings, ours with the same cache
// memory (the engine's default is 32 KB per file); each scan reads two fields of
// every record. N is 1,000,000, or DEZEDE_BENCH_RECORDS for quick runs (the
// number of searches shrinks with it). Strings compare by the table's locale
// in ours and bytewise in SQLite.

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/cursor.h"
#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "engine/table_files.h"
#include "support/date_time.h"
#include "support/endian.h"

namespace {

using namespace dezede;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct TRow {
    int32_t Id;
    std::string Name;
    int64_t Code;
    double Amount;
    int32_t Day;
    double At;
    bool Flag;
    int16_t Qty;
    std::string Note;
    uint32_t Count;
};

std::vector<TRow> MakeRows(size_t n) {
    std::mt19937_64 rng(42);
    std::vector<TRow> rows(n);
    std::vector<int64_t> codes(n);
    for (size_t i = 0; i < n; ++i) codes[i] = static_cast<int64_t>(i) * 7919 + 13;
    std::shuffle(codes.begin(), codes.end(), rng);
    const char* letters = "abcdefghijklmnopqrstuvwxyz";
    for (size_t i = 0; i < n; ++i) {
        TRow& r = rows[i];
        r.Id = static_cast<int32_t>(i + 1);
        // Names repeat: about n / 8 different ones.
        std::mt19937 nameRng(static_cast<uint32_t>(rng() % (n / 8 + 1)));
        r.Name.resize(6 + nameRng() % 14);
        for (char& c : r.Name) c = letters[nameRng() % 26];
        r.Code = codes[i];
        r.Amount = static_cast<double>(rng() % 1000000) / 100.0;
        r.Day = 730000 + static_cast<int32_t>(rng() % 10000);
        r.At = EncodeTimestamp(r.Day, static_cast<int32_t>(rng() % kMSecsPerDay));
        r.Flag = rng() & 1;
        r.Qty = static_cast<int16_t>(rng() % 1000);
        r.Note = "note " + std::to_string(rng() % 100000);
        r.Count = static_cast<uint32_t>(rng());
    }
    return rows;
}

struct TTimes {
    double Append = 0, ScanRecNo = 0, ScanIndex = 0, Find = 0;
    uint64_t Check = 0;  // sums that show both sides read the same data
};

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

TTimes RunSqlite(const std::vector<TRow>& rows, const std::vector<int64_t>& probes, const std::string& path) {
    TTimes t;
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db);
    Check(sqlite3_exec(db,
                       "CREATE TABLE items(id INTEGER, name TEXT, code INTEGER, amount REAL, born INTEGER, "
                       "at REAL, flag INTEGER, qty INTEGER, note TEXT, cnt INTEGER);"
                       "CREATE INDEX items_name ON items(name);"
                       "CREATE UNIQUE INDEX items_code ON items(code);",
                       nullptr, nullptr, nullptr),
          db);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO items VALUES(?,?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr), db);
    auto start = Clock::now();
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    for (const TRow& r : rows) {
        sqlite3_bind_int(insert, 1, r.Id);
        sqlite3_bind_text(insert, 2, r.Name.data(), static_cast<int>(r.Name.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 3, r.Code);
        sqlite3_bind_double(insert, 4, r.Amount);
        sqlite3_bind_int(insert, 5, r.Day);
        sqlite3_bind_double(insert, 6, r.At);
        sqlite3_bind_int(insert, 7, r.Flag);
        sqlite3_bind_int(insert, 8, r.Qty);
        sqlite3_bind_text(insert, 9, r.Note.data(), static_cast<int>(r.Note.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 10, r.Count);
        Check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
    }
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    t.Append = Seconds(start);
    sqlite3_finalize(insert);

    auto scan = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        Check(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), db);
        const auto begin = Clock::now();
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            t.Check += static_cast<uint64_t>(sqlite3_column_int(s, 0)) + static_cast<uint64_t>(sqlite3_column_bytes(s, 1));
        Check(rc, db);
        const double seconds = Seconds(begin);
        sqlite3_finalize(s);
        return seconds;
    };
    t.ScanRecNo = scan("SELECT * FROM items ORDER BY rowid");
    t.ScanIndex = scan("SELECT * FROM items INDEXED BY items_name ORDER BY name");

    sqlite3_stmt* find = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT * FROM items WHERE code = ?", -1, &find, nullptr), db);
    start = Clock::now();
    for (int64_t code : probes) {
        sqlite3_bind_int64(find, 1, code);
        if (sqlite3_step(find) == SQLITE_ROW) t.Check += static_cast<uint64_t>(sqlite3_column_int(find, 0));
        sqlite3_reset(find);
    }
    t.Find = Seconds(start);
    sqlite3_finalize(find);
    sqlite3_close(db);
    return t;
}

TTimes RunOurs(const std::vector<TRow>& rows, const std::vector<int64_t>& probes, const std::string& dir) {
    TTimes t;
    TDataEngine engine;
    // The same cache memory as SQLite's default (about 2 MB), split between
    // the data and the index file.
    engine.SetMaxTableDataBufferSize(1 << 20);
    engine.SetMaxTableIndexBufferSize(1 << 20);
    engine.Startup("dezede.lck");
    TDataSession* session = engine.CreateSession();
    TDataDirectory* directory = session->OpenDataDir("bench", dir, false, false);
    TTableDefinition def;
    def.Fields = {FieldDef("Id", ftdInteger),     FieldDef("Name", ftdString, 20), FieldDef("Code", ftdLargeInt),
                  FieldDef("Amount", ftdFloat),   FieldDef("Born", ftdDate),       FieldDef("At", ftdTimestamp),
                  FieldDef("Flag", ftdBoolean),   FieldDef("Qty", ftdSmallInt),    FieldDef("Note", ftdString, 40),
                  FieldDef("Count", ftdUInteger)};
    def.SecondaryIndexes = {OneFieldIndex("ByName", 2), OneFieldIndex("ByCode", 3, true)};
    directory->CreateTable("Items", def);
    {
        TDataCursor cursor(*directory);
        cursor.OpenCursor("Items");
        const std::vector<TFieldDescriptor>& f = cursor.Fields();
        std::vector<uint8_t> image(cursor.RecordSize());
        auto put = [&](size_t field, const void* value, size_t size) {
            SetFieldValue(f[field], image, std::span<const uint8_t>(static_cast<const uint8_t*>(value), size));
        };
        auto start = Clock::now();
        directory->StartTransaction({"Items"});
        for (const TRow& r : rows) {
            std::fill(image.begin(), image.end(), 0);
            uint8_t v[8];
            StoreLE32(v, static_cast<uint32_t>(r.Id));
            put(0, v, 4);
            put(1, r.Name.data(), r.Name.size());
            StoreLE64(v, static_cast<uint64_t>(r.Code));
            put(2, v, 8);
            StoreLEDouble(v, r.Amount);
            put(3, v, 8);
            StoreLE32(v, static_cast<uint32_t>(r.Day));
            put(4, v, 4);
            StoreLEDouble(v, r.At);
            put(5, v, 8);
            StoreLE16(v, r.Flag ? 1 : 0);
            put(6, v, 2);
            StoreLE16(v, static_cast<uint16_t>(r.Qty));
            put(7, v, 2);
            put(8, r.Note.data(), r.Note.size());
            StoreLE32(v, r.Count);
            put(9, v, 4);
            cursor.AppendRecord(image, false);
        }
        directory->Commit(false, true);
        t.Append = Seconds(start);
        std::fprintf(stderr, "ours: append %.3f s\n", t.Append);

        const size_t nameAt = f[1].Offset + 1u, idAt = f[0].Offset + 1u;
        auto scan = [&] {
            const auto begin = Clock::now();
            cursor.SetToBegin();
            while (cursor.GetNextRecord(image) == 0)
                t.Check += static_cast<uint64_t>(LoadLE32s(image.data() + idAt)) +
                           std::strlen(reinterpret_cast<const char*>(image.data() + nameAt));
            return Seconds(begin);
        };
        cursor.SetIndexNo(kNoIndex);
        t.ScanRecNo = scan();
        cursor.SetIndexName("ByName");
        t.ScanIndex = scan();

        cursor.SetIndexName("ByCode");
        start = Clock::now();
        for (int64_t code : probes) {
            std::fill(image.begin(), image.end(), 0);
            uint8_t v[8];
            StoreLE64(v, static_cast<uint64_t>(code));
            put(2, v, 8);
            if (cursor.Find(image, false, 0, false, 0, image)) t.Check += static_cast<uint64_t>(LoadLE32s(image.data() + idAt));
        }
        t.Find = Seconds(start);
    }
    session->CloseDataDir(directory);
    return t;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    size_t n = 1000000;
    if (const char* env = std::getenv("DEZEDE_BENCH_RECORDS")) n = std::max<size_t>(16, std::strtoull(env, nullptr, 10));
    const size_t findCount = std::max<size_t>(1, n / 10);
    const std::vector<TRow> rows = MakeRows(n);
    std::mt19937_64 rng(7);
    std::vector<int64_t> probes(findCount);
    for (int64_t& p : probes) p = rows[rng() % n].Code;

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_cursor_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const TTimes ours = RunOurs(rows, probes, dir.string());
    const TTimes sqlite = RunSqlite(rows, probes, (dir / "items.sqlite").string());
    std::filesystem::remove_all(dir);
    if (ours.Check != sqlite.Check)
        std::fprintf(stderr, "warning: the two sides read different data (%llu, %llu)\n",
                     static_cast<unsigned long long>(ours.Check), static_cast<unsigned long long>(sqlite.Check));

    auto line = [](const std::string& name, double a, double b) {
        std::printf("%s: ours %.3f s, sqlite %.3f s, ratio %.2f\n", name.c_str(), a, b, a / b);
    };
    line("append " + std::to_string(n) + " records, two secondary indexes, one transaction", ours.Append,
         sqlite.Append);
    line("scan in record-number order", ours.ScanRecNo, sqlite.ScanRecNo);
    line("scan in a secondary index's order", ours.ScanIndex, sqlite.ScanIndex);
    line(std::to_string(findCount) + " Find calls on a unique index", ours.Find, sqlite.Find);
    return 0;
}
