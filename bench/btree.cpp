// Index tree against SQLite: 1,000,000 random 32-bit keys inserted into a non-unique index on
// 4096-byte pages (key: presence byte, the value, the record ID), then 1,000,000 point lookups
// by value. SQLite inserts the same values into an indexed table inside one transaction and
// looks them up through its index. Both run in memory; ours includes packing every page into
// its image once at the end, as writing the changes would.

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "engine/index_tree.h"
#include "engine/memory_page_store.h"
#include "support/endian.h"

namespace {

using namespace dezede;
using Clock = std::chrono::steady_clock;

constexpr int KeyCount = 1000000;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void PutBigEndianFlipped(uint8_t* p, int32_t v) { StoreBE32(p, static_cast<uint32_t>(v) ^ 0x80000000u); }

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

struct Times {
    double Insert;
    double Lookup;
};

Times RunOurs(const std::vector<int32_t>& values) {
    const TIndexShape shape{.PageSize = 4096, .KeySize = 9, .Unique = false};
    TMemoryPageStore store(shape, "bench");
    // Default-locale comparison of one ascending integer field and the record-ID suffix.
    TIndexTree tree(store, [](const uint8_t* a, const uint8_t* b, size_t n) { return std::memcmp(a, b, n); });

    uint8_t key[9];
    key[0] = 1;
    auto start = Clock::now();
    for (int i = 0; i < KeyCount; ++i) {
        PutBigEndianFlipped(key + 1, values[i]);
        PutBigEndianFlipped(key + 5, i + 1);
        tree.Insert(key, static_cast<uint32_t>(i + 1));
    }
    store.Flush();
    const double insert = Seconds(start);

    start = Clock::now();
    uint64_t found = 0;
    TIndexPosition pos;
    uint8_t at[9];
    uint32_t record = 0;
    for (int i = 0; i < KeyCount; ++i) {
        PutBigEndianFlipped(key + 1, values[i]);
        std::memset(key + 5, 0, 4);  // lowest suffix: the first key with this value
        if (tree.FindAtOrAfter(key, pos)) {
            tree.ReadPosition(pos, at, record);
            if (std::memcmp(at, key, 5) == 0) found += record != 0;
        }
    }
    const double lookup = Seconds(start);
    if (found != KeyCount) std::fprintf(stderr, "ours found %llu\n", static_cast<unsigned long long>(found));
    return {insert, lookup};
}

Times RunSqlite(const std::vector<int32_t>& values) {
    sqlite3* db = nullptr;
    Check(sqlite3_open(":memory:", &db), db);
    Check(sqlite3_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, v INTEGER); CREATE INDEX tv ON t(v);", nullptr,
                       nullptr, nullptr),
          db);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO t(id, v) VALUES(?, ?)", -1, &insert, nullptr), db);
    auto start = Clock::now();
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    for (int i = 0; i < KeyCount; ++i) {
        sqlite3_bind_int(insert, 1, i + 1);
        sqlite3_bind_int(insert, 2, values[i]);
        Check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
    }
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    const double insertTime = Seconds(start);
    sqlite3_finalize(insert);

    sqlite3_stmt* lookup = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT id FROM t WHERE v = ? LIMIT 1", -1, &lookup, nullptr), db);
    start = Clock::now();
    uint64_t found = 0;
    for (int i = 0; i < KeyCount; ++i) {
        sqlite3_bind_int(lookup, 1, values[i]);
        if (sqlite3_step(lookup) == SQLITE_ROW) found += sqlite3_column_int(lookup, 0) != 0;
        sqlite3_reset(lookup);
    }
    const double lookupTime = Seconds(start);
    sqlite3_finalize(lookup);
    sqlite3_close(db);
    if (found != KeyCount) std::fprintf(stderr, "sqlite found %llu\n", static_cast<unsigned long long>(found));
    return {insertTime, lookupTime};
}

}  // namespace

int main() {
    std::mt19937 rng(42);
    std::vector<int32_t> values(KeyCount);
    for (int32_t& v : values) v = static_cast<int32_t>(rng());
    const Times ours = RunOurs(values);
    const Times sqlite = RunSqlite(values);
    std::printf("insert 1000000 random keys: ours %.3f s, sqlite %.3f s, ratio %.2f\n", ours.Insert, sqlite.Insert,
                ours.Insert / sqlite.Insert);
    std::printf("1000000 point lookups: ours %.3f s, sqlite %.3f s, ratio %.2f\n", ours.Lookup, sqlite.Lookup,
                ours.Lookup / sqlite.Lookup);
    return 0;
}
