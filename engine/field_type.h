#pragma once
// Field type and subtype codes as stored in field descriptors. Storage sizes,
// value layout, key encoding and comparison build on these codes.

#include <cstdint>

namespace dezede {

enum TFieldType : uint8_t {
    ftdNone = 0,
    ftdString = 1,
    ftdDate = 2,
    ftdBlob = 3,
    ftdBoolean = 4,
    ftdSmallInt = 5,
    ftdInteger = 6,
    ftdFloat = 7,
    ftdBCD = 8,
    ftdBytes = 9,
    ftdTime = 10,
    ftdTimestamp = 11,
    ftdWord = 12,
    ftdUInteger = 13,
    ftdVarBytes = 15,
    ftdCursor = 17,
    ftdLargeInt = 18,
    ftdULargeInt = 19,
    ftdADT = 20,
    ftdArray = 21,
    ftdReference = 22,
    ftdNestedTable = 23,
};

enum TFieldSubType : uint8_t {
    fsdNone = 0,
    fsdMoney = 21,      // float
    fsdMemo = 22,       // BLOB
    fsdGraphic = 26,    // BLOB
    fsdAutoInc = 29,    // integer
    fsdFixedChar = 31,  // string
    fsdWideString = 32, // string
    fsdGuid = 50,       // string
    fsdRecordHash = 100 // bytes: the RecordHash pseudo field
};

}  // namespace dezede
