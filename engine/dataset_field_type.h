#pragma once
// The dataset framework's field types and their mapping to and from the
// engine's type and subtype codes.

#include <cstdint>

namespace dezede {

enum class TDatasetFieldType : uint8_t {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate,
    ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle,
    ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference,
    ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd,
};

struct TEngineFieldType {
    uint8_t Type = 0;  // 0: the dataset type cannot be stored
    uint8_t SubType = 0;
};

// The type and subtype a dataset field type is created as.
TEngineFieldType EngineFieldType(TDatasetFieldType type);
// The dataset field type a stored type and subtype reads back as.
TDatasetFieldType DatasetFieldType(uint8_t type, uint8_t subType);

}  // namespace dezede
