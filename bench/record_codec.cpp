// Encoding and decoding a record of ten mixed fields with its record hash,
// against the limit set by MD5 over the same bytes (the hash alone):
//  - encode: SetFieldValue of the ten fields, then ComputeRecordHash;
//  - decode: GetFieldValue of the ten fields, then ComputeRecordHash (the
//    change check a cursor makes when it reads a record).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/data_file_format.h"
#include "engine/field_types.h"
#include "support/endian.h"
#include "support/md5.h"

using namespace dezede;

namespace {

constexpr int kRecords = 200000;

double Seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename F>
double Best(int rounds, F&& f) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) best = std::min(best, f());
    return best;
}

void Report(const char* name, double ours, double limit) {
    std::printf("%s: ours %.4f s, md5 limit %.4f s, ratio %.2f\n", name, ours, limit, ours / limit);
}

}  // namespace

int main() {
    std::vector<TFieldDescriptor> fields = {
        FieldDef("Name", ftdString, 40), FieldDef("City", ftdString, 30), FieldDef("Count", ftdInteger),
        FieldDef("Small", ftdSmallInt),  FieldDef("Big", ftdLargeInt),    FieldDef("Ratio", ftdFloat),
        FieldDef("Flag", ftdBoolean),    FieldDef("Born", ftdDate),       FieldDef("At", ftdTimestamp),
        FieldDef("Price", ftdBCD)};
    const TRecordLayout layout = ComputeRecordLayout(fields, "bench");
    std::vector<std::vector<uint8_t>> values;
    for (const TFieldDescriptor& f : fields) {
        std::vector<uint8_t> v(f.StorageSize, 0);
        if (f.Type == ftdString) {
            std::string text = f.Name + " value   ";
            std::memcpy(v.data(), text.data(), std::min(text.size(), v.size() - 1));
        } else {
            for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 13 + 1);
        }
        if (f.Type == ftdBCD) CurrencyToBcdRecord(1234567, 2, v);
        values.push_back(std::move(v));
    }
    std::vector<uint8_t> record(layout.RecordSize, 0), out(64);
    volatile uint8_t sink = 0;

    const double encode = Best(5, [&] {
        auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < kRecords; ++r) {
            for (size_t i = 0; i < fields.size(); ++i)
                SetFieldValue(fields[i], record, std::span<const uint8_t>(values[i]));
            TMD5Digest d = ComputeRecordHash(fields, layout.BlobFieldCount, record);
            std::memcpy(record.data() + kRecordHashOffset, d.data(), d.size());
        }
        return Seconds(start);
    });
    const double decode = Best(5, [&] {
        auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < kRecords; ++r) {
            for (const TFieldDescriptor& f : fields) sink = sink + static_cast<uint8_t>(GetFieldValue(f, record, out));
            TMD5Digest d = ComputeRecordHash(fields, layout.BlobFieldCount, record);
            sink = sink + d[0];
        }
        return Seconds(start);
    });
    const double md5 = Best(5, [&] {
        auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < kRecords; ++r) {
            TMD5Digest d = MD5Digest(record.data() + kRecordDataOffset, record.size() - kRecordDataOffset);
            sink = sink + d[0];
        }
        return Seconds(start);
    });
    Report("encode record of ten fields with hash", encode, md5);
    Report("decode record of ten fields with hash", decode, md5);
    (void)sink;
    return 0;
}
