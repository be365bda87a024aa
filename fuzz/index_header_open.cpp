// Opening an index file made of arbitrary bytes with its descriptors,
// verifying it against a small field list and allocating pages.

#include <vector>

#include "engine/data_file_format.h"
#include "engine/index_file.h"
#include "fuzz/fuzz_table_file.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the page size, the rest is the file.
    const uint32_t pageSize = 1024 + (static_cast<uint32_t>(data[0] | (data[1] << 8)) % (16384 - 1024 + 1));
    TFileRegistry registry;
    fuzz::PutMemoryFile(registry, "fuzz.idx", data + 2, size - 2);
    fuzz::ExpectOnlyEngineErrors([&] {
        std::vector<TFieldDescriptor> fields(3);
        const uint8_t types[] = {ftdInteger, ftdString, ftdBlob};
        for (size_t i = 0; i < fields.size(); ++i) {
            fields[i].Name = std::string(1, static_cast<char>('A' + i));
            fields[i].Type = types[i];
            fields[i].Size = types[i] == ftdString ? 20 : 0;
        }
        ComputeRecordLayout(fields, "fuzz");
        TIndexFile file(registry, "fuzz.idx", true);
        file.SetPageSize(pageSize);
        file.OpenIndexFile();
        for (size_t slot = 0; slot < kIndexSlotCount; ++slot)
            MakeKeyLayout(file.Index(slot), slot == kFullTextIndexSlot, fields, 0);
        fuzz::ExpectOnlyEngineErrors([&] { file.VerifyIndexHeader(fields); });
        const uint32_t page = file.AllocatePage(2);
        file.FreePage(page);
        file.EmptyFile();
    });
    return 0;
}
