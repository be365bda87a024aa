// Opening a data file made of arbitrary bytes, reading its records, their
// field values, keys and hashes, and verifying its header.

#include <vector>

#include "engine/data_file.h"
#include "engine/index_file_format.h"
#include "fuzz/fuzz_table_file.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFileRegistry registry;
    fuzz::PutMemoryFile(registry, "fuzz.dat", data, size);
    fuzz::ExpectOnlyEngineErrors([&] {
        TDataFile file(registry, "fuzz.dat", true);
        file.OpenDataFile({.Passwords = {"password"}});
        const TDataHeader& h = file.Header();
        std::vector<uint8_t> record(h.RecordSize), value;
        TIndexDescriptor all;
        all.Unique = false;
        for (const TFieldDescriptor& f : file.Fields())
            if (!f.IsBlob() && !f.Computed && all.FieldCount < kMaxIndexFields)
                all.FieldNumbers[all.FieldCount++] = f.FieldNumber;
        const uint32_t keySize = ComputeKeySize(all, file.Fields());
        std::vector<uint8_t> key(keySize);
        const uint32_t last = std::min<uint32_t>(h.NextRecordNumber - 1, 64);
        for (uint32_t n = 1; n <= last; ++n) {
            file.ReadRecord(n, record);
            ComputeRecordHash(file.Fields(), h.BlobFieldCount, record);
            for (const TFieldDescriptor& f : file.Fields()) {
                if (f.Computed) continue;
                value.assign(std::max<size_t>(f.StorageSize, 8), 0);
                GetFieldValue(f, record, value);
            }
            if (keySize) BuildRecordKey(all, file.Fields(), h.Locale, record, key);
        }
        file.VerifyHeader();
    });
    return 0;
}
