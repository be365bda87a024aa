#pragma once
// Helpers of the table file fuzz targets: arbitrary bytes as an in-memory file,
// and running a step so that only engine errors may escape it.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/engine_error.h"
#include "engine/engine_file.h"
#include "engine/file_registry.h"

namespace dezede::fuzz {

inline void PutMemoryFile(TFileRegistry& registry, const std::string& name, const uint8_t* data, size_t size) {
    TEngineFile f(registry, name, true);
    f.Create();
    if (size) f.Write(data, static_cast<uint32_t>(size));
    f.Close();
}

// Engine errors are the expected outcome of bad input; anything else escapes
// and is reported by the fuzzer.
template <class F>
void ExpectOnlyEngineErrors(F&& step) {
    try {
        step();
    } catch (const EDEZEDEEngineError&) {
    }
}

}  // namespace dezede::fuzz
