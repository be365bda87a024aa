#pragma once
// The parts of a record image that the engine fills in before the image is
// written: status and own record number, the RecordID, the values of empty
// auto-increment fields, the field constraints and the record hash.

#include <cstdint>
#include <span>
#include <string>

namespace dezede {

class TDataFile;

// Gives every empty auto-increment field of a new record the table's last
// auto-increment value + 1 (after 2,147,483,647 comes 1). Returns the value
// the table's counter must be raised to: the given or generated values above
// the last one, else the last one itself.
int32_t FillAutoIncFields(const TDataFile& data, std::span<uint8_t> image);

// Status active, the record number in bytes 1 to 4 and the RecordID; checks
// the field constraints (DEZEDE_REQDERR, DEZEDE_MINVALERR, DEZEDE_MAXVALERR
// naming table and field) and computes the record hash.
void FinishRecordImage(const TDataFile& data, std::span<uint8_t> image, uint32_t recNo, int32_t recordId,
                       const std::string& table);

// The RecordID of an image.
int32_t RecordIdOf(std::span<const uint8_t> image);

// Whether two images carry the same record hash.
bool SameRecordHash(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace dezede
