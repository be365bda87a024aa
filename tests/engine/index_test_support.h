#pragma once
// Helpers of the index tests. Keys: fields of fixed width (presence byte included), each ascending or
// descending, compared as unsigned bytes, then any remaining bytes (the record-ID suffix)
// ascending -- the byte-order comparison of indexes in the default locale.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_error.h"
#include "engine/index_tree.h"
#include "support/endian.h"

namespace dezede::index_test {

struct TTestKeyLayout {
    std::vector<size_t> Widths;
    std::vector<bool> Descending;
};

inline TKeyCompare MakeCompare(TTestKeyLayout layout) {
    return [layout](const uint8_t* a, const uint8_t* b, size_t length) {
        size_t offset = 0;
        for (size_t f = 0; f < layout.Widths.size() && offset < length; ++f) {
            const size_t n = std::min(layout.Widths[f], length - offset);
            int c = std::memcmp(a + offset, b + offset, n);
            if (c != 0) {
                c = c < 0 ? -1 : 1;
                return layout.Descending[f] ? -c : c;
            }
            offset += n;
        }
        if (offset >= length) return 0;
        const int c = std::memcmp(a + offset, b + offset, length - offset);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    };
}

// A 32-bit integer as a key field: presence byte, 4 bytes big-endian with the sign bit inverted.
inline void PutIntField(uint8_t* p, int32_t v) {
    p[0] = 1;
    StoreBE32(p + 1, static_cast<uint32_t>(v) ^ 0x80000000u);
}

// A record-ID suffix: 4 bytes big-endian with the sign bit inverted.
inline void PutSuffix(uint8_t* p, int32_t v) {
    StoreBE32(p, static_cast<uint32_t>(v) ^ 0x80000000u);
}

// Runs f and expects the engine error code naming the table.
template <class F>
void ExpectEngineError(uint16_t code, const std::string& table, F&& f) {
    try {
        f();
        ADD_FAILURE() << "expected engine error " << code;
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorCode, code);
        EXPECT_EQ(e.ErrorTableName, table);
    }
}

}  // namespace dezede::index_test
