// Loading a BLOB value through a chain of arbitrary blocks: the reference,
// block size and compression come from the input, the rest is the file.
// Optionally the chain is first released to the free chain (as for a deleted
// record) and blocks are allocated from it.

#include <vector>

#include "engine/blob_file.h"
#include "fuzz/fuzz_table_file.h"
#include "support/endian.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 11) return 0;
    const TBlobReference ref{LoadLE32s(data), LoadLE32s(data + 4)};
    const uint32_t blockSize = 64 + 8 * (data[8] % 64);
    const uint8_t compression = data[9] % 10;
    const bool store = (data[10] & 1) != 0;
    const bool release = (data[10] & 2) != 0;
    TFileRegistry registry;
    fuzz::PutMemoryFile(registry, "fuzz.blb", data + 11, size - 11);
    fuzz::ExpectOnlyEngineErrors([&] {
        TBlobFile file(registry, "fuzz.blb", true);
        file.SetBlockSize(blockSize);
        file.OpenBlobFile();
        if (release) {
            file.ReleaseChain(ref);
            for (int i = 0; i < 4; ++i) file.AllocateBlock();
        }
        std::vector<uint8_t> value;
        file.LoadBlob(ref, compression, value);
        if (store) {
            TBlobReference r = ref;
            std::vector<uint8_t> bytes(data, data + std::min<size_t>(size, 3000));
            file.StoreBlob(r, bytes, compression, 7);
            file.LoadBlob(r, compression, value);
            if (value != bytes) __builtin_trap();
        }
        file.VerifyBlobHeader();
    });
    return 0;
}
