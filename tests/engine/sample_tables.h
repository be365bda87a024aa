#pragma once
// Field definitions for tests that build tables.

#include <cstdint>

#include "engine/field_types.h"

namespace dezede::test {

// A field by name, type, declared size and subtype; everything else default.
inline TFieldDescriptor Def(const char* name, uint8_t type, uint16_t size = 0, uint8_t sub = fsdNone) {
    TFieldDescriptor f;
    f.Name = name;
    f.Type = type;
    f.Size = size;
    f.SubType = sub;
    return f;
}

}  // namespace dezede::test
