// A typical WHERE condition over four columns (comparisons, AND, a LIKE and
// an arithmetic term) evaluated over rows held in memory, against SQLite
// filtering the same rows with the same condition in an in-memory database.
//
// Prints: "<case>: ours <t> s, sqlite <t> s, ratio <ours/sqlite>".

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sql/expression_evaluator.h"
#include "sql/expression_parser.h"
#include "sql/expression_verifier.h"

namespace {

using namespace dezede;

constexpr const char* kCondition = "Qty > 100 AND Price * 2 + Qty < 15000 AND Code LIKE 'ab%' AND Dept <> 7";

struct TRow {
    int32_t Qty;
    double Price;
    char Code[12];
    int32_t Dept;
};

struct TTable {
    std::vector<TRow> Rows;
    size_t Current = 0;
};

void Fetch(void* data, TExpToken& column) {
    const TTable& t = *static_cast<const TTable*>(data);
    const TRow& r = t.Rows[t.Current];
    switch (column.ColumnNumber) {
        case 0: column.Put<int32_t>(r.Qty); break;
        case 1: column.Put<double>(r.Price); break;
        case 2: column.SetString(std::string_view(r.Code, std::strlen(r.Code))); break;
        default: column.Put<int32_t>(r.Dept); break;
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10'000'000;
    TTable table;
    table.Rows.resize(rows);
    uint64_t seed = 88172645463325252ull;
    auto next = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (auto& r : table.Rows) {
        r.Qty = static_cast<int32_t>(next() % 1000);
        r.Price = static_cast<double>(next() % 1000000) / 100.0;
        for (int i = 0; i < 8; ++i) r.Code[i] = static_cast<char>('a' + next() % 4);
        r.Code[8] = 0;
        r.Dept = static_cast<int32_t>(next() % 10);
    }

    // Ours: parse, verify against the four columns, evaluate row by row.
    TExpressionParser parser;
    auto root = parser.ParseWhole(kCondition, kWhereFlags);
    TExpressionVerifier verifier;
    verifier.BindColumn = [](TExpToken& c) {
        static const char* kNames[] = {"Qty", "Price", "Code", "Dept"};
        for (int i = 0; i < 4; ++i) {
            if (c.ColumnName != kNames[i]) continue;
            c.ColumnNumber = i;
            if (i == 1) c.SetType(ftdFloat, fsdNone, 8);
            else if (i == 2) c.SetType(ftdString, fsdNone, 12);
            else c.SetType(ftdInteger, fsdNone, 4);
            return true;
        }
        return false;
    };
    verifier.Verify(*root, true, false);
    TExpressionEvaluator evaluator;
    evaluator.Context.FetchColumn = &Fetch;
    evaluator.Context.FetchData = &table;
    auto start = std::chrono::steady_clock::now();
    size_t ours = 0;
    for (table.Current = 0; table.Current < rows; ++table.Current) {
        evaluator.Evaluate(*root);
        ours += TExpressionEvaluator::IsTrue(*root);
    }
    const double oursSeconds = Seconds(start);

    // SQLite: the same rows in an in-memory table, filtered by the same condition.
    sqlite3* db = nullptr;
    Check(sqlite3_open(":memory:", &db), db);
    Check(sqlite3_exec(db, "CREATE TABLE t (Qty INTEGER, Price REAL, Code TEXT, Dept INTEGER)", nullptr, nullptr, nullptr), db);
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?)", -1, &insert, nullptr), db);
    for (const auto& r : table.Rows) {
        sqlite3_bind_int(insert, 1, r.Qty);
        sqlite3_bind_double(insert, 2, r.Price);
        sqlite3_bind_text(insert, 3, r.Code, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 4, r.Dept);
        Check(sqlite3_step(insert), db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    // LIKE in SQLite ignores ASCII case by default; ours is case-sensitive.
    Check(sqlite3_exec(db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* query = nullptr;
    Check(sqlite3_prepare_v2(db, (std::string("SELECT count(*) FROM t WHERE ") + kCondition).c_str(), -1, &query, nullptr), db);
    start = std::chrono::steady_clock::now();
    Check(sqlite3_step(query), db);
    const size_t theirs = static_cast<size_t>(sqlite3_column_int64(query, 0));
    const double sqliteSeconds = Seconds(start);
    sqlite3_finalize(query);
    sqlite3_close(db);

    if (ours != theirs) {
        std::fprintf(stderr, "row counts differ: ours %zu, sqlite %zu\n", ours, theirs);
        return 1;
    }
    std::printf("where_condition_%zu_rows: ours %.3f s, sqlite %.3f s, ratio %.2f\n", rows, oursSeconds,
                sqliteSeconds, oursSeconds / sqliteSeconds);
    return 0;
}
