#pragma once
// Field definitions for tests that build tables.

#include <cstdint>

#include "engine/field_types.h"

namespace dezede::test {

// A field by name, type, declared size and subtype; everything else default.
inline TFieldDescriptor Def(const char* name, uint8_t type, uint16_t size = 0, uint8_t sub = fsdNone) {
    return FieldDef(name, type, size, sub);
}

}  // namespace dezede::test
