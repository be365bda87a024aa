#include "engine/dataset_field_type.h"

#include "engine/field_type.h"

namespace dezede {

TEngineFieldType EngineFieldType(TDatasetFieldType type) {
    using enum TDatasetFieldType;
    switch (type) {
    case ftString: return {ftdString, fsdNone};
    case ftFixedChar: return {ftdString, fsdFixedChar};
    case ftWideString: return {ftdString, fsdWideString};
    case ftGuid: return {ftdString, fsdGuid};
    case ftDate: return {ftdDate, 0};
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob: return {ftdBlob, fsdNone};
    case ftMemo:
    case ftFmtMemo: return {ftdBlob, fsdMemo};
    case ftGraphic: return {ftdBlob, fsdGraphic};
    case ftBoolean: return {ftdBoolean, 0};
    case ftSmallint: return {ftdSmallInt, 0};
    case ftInteger: return {ftdInteger, fsdNone};
    case ftAutoInc: return {ftdInteger, fsdAutoInc};
    case ftFloat: return {ftdFloat, fsdNone};
    case ftCurrency: return {ftdFloat, fsdMoney};
    case ftBCD: return {ftdBCD, 0};
    case ftBytes: return {ftdBytes, 0};
    case ftTime: return {ftdTime, 0};
    case ftDateTime: return {ftdTimestamp, 0};
    case ftWord: return {ftdWord, 0};
    case ftVarBytes: return {ftdVarBytes, 0};
    case ftLargeint: return {ftdLargeInt, 0};
    case ftCursor: return {ftdCursor, 0};
    case ftADT: return {ftdADT, 0};
    case ftArray: return {ftdArray, 0};
    case ftReference: return {ftdReference, 0};
    case ftDataSet: return {ftdNestedTable, 0};
    default: return {0, 0};
    }
}

TDatasetFieldType DatasetFieldType(uint8_t type, uint8_t subType) {
    using enum TDatasetFieldType;
    switch (type) {
    case ftdString:
        switch (subType) {
        case fsdFixedChar: return ftFixedChar;
        case fsdWideString: return ftWideString;
        case fsdGuid: return ftGuid;
        default: return ftString;
        }
    case ftdDate: return ftDate;
    case ftdBlob:
        if (subType == 22 || subType == 24 || subType == 33) return ftMemo;
        if (subType == fsdGraphic) return ftGraphic;
        return ftBlob;
    case ftdBoolean: return ftBoolean;
    case ftdSmallInt: return ftSmallint;
    case ftdInteger: return subType == fsdAutoInc ? ftAutoInc : ftInteger;
    case ftdFloat: return subType == fsdMoney ? ftCurrency : ftFloat;
    case ftdBCD: return ftBCD;
    case ftdBytes: return ftBytes;
    case ftdTime: return ftTime;
    case ftdTimestamp: return ftDateTime;
    case ftdWord: return ftWord;
    case ftdUInteger: return ftInteger;
    case ftdVarBytes: return ftVarBytes;
    case ftdLargeInt:
    case ftdULargeInt: return ftLargeint;
    case ftdADT: return ftADT;
    case ftdArray: return ftArray;
    case ftdReference: return ftReference;
    case ftdNestedTable: return ftDataSet;
    default: return ftUnknown;  // 0, 14, 16, 17 and unknown codes
    }
}

}  // namespace dezede
