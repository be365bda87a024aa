// Feeds arbitrary bytes to the reader of stored copies (plain or compressed):
// restore to the end, restore a given length, and measure. Every outcome must
// be a restored file or an engine error, never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/engine_error.h"
#include "engine/engine_file.h"
#include "engine/file_registry.h"

using namespace dezede;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // The first three bytes choose the decompressed length asked for (up to 1 MB).
    const uint64_t length = (uint64_t{data[0]} | (uint64_t{data[1]} << 8) | (uint64_t{data[2]} << 16)) & 0xFFFFF;
    data += 3;
    size -= 3;

    TFileRegistry registry;  // memory files of this run only
    TEngineFile stored(registry, "fuzz/stored.bak", true);
    stored.Create();
    if (size > 0) stored.Write(data, static_cast<uint32_t>(size));
    stored.Close();

    TEngineFile out(registry, "fuzz/out.dat", true);
    out.Create();
    try {
        out.CopyFromFile("fuzz/stored.bak", {});
    } catch (const EDEZEDEEngineError&) {
    }
    TEngineFile in(registry, "fuzz/stored.bak", true);
    in.Open();
    try {
        in.Seek(kSeekFromStart, 0);
        out.CopyFromOpenFile(in, length, {});
    } catch (const EDEZEDEEngineError&) {
    }
    try {
        in.Seek(kSeekFromStart, 0);
        in.MeasureStoredCopy(in, length);
    } catch (const EDEZEDEEngineError&) {
    }
    return 0;
}
