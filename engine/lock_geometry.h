#pragma once
// Where the locking protocol puts its byte-range locks. Every process that
// shares a data directory computes these offsets the same way; they are the
// protocol between processes and must not change.
//
// Lock file (slot i = 1 ... 4,096):
//   lock-file read lock    1 byte at B - H + s - 1, s random in 1 ... 65,534
//   lock-file write lock   H bytes at B - H
//   transaction byte       1 byte at B - H - i
//   all transaction bytes  4,096 bytes at B - H - 4,096
//   table read lock        1 byte at W(i) + s - 1
//   table write lock       65,535 bytes at W(i) = B - H - 4,096 - i * 65,535
//   all table regions      4,096 * 65,535 bytes at W(4,096)
// Data file of a table (n >= 1):
//   record n               1 byte at B - n
//   whole table            R bytes at B - R
//   semaphore n            1 byte at B - R - n, n = 1 ... 1,024
// B (lock base) and R (record-lock span, also the highest record number)
// depend on LargeFileSupport.

#include <cstdint>

namespace dezede {

struct TLockRegion {
    uint64_t Offset = 0;
    uint64_t Length = 0;
    uint64_t Last() const { return Offset + Length - 1; }
    bool Contains(uint64_t byte) const { return byte >= Offset && byte - Offset < Length; }
    bool operator==(const TLockRegion&) const = default;
};

struct TLockGeometry {
    static constexpr uint64_t kHeaderSpan = 65535;
    static constexpr uint64_t kTransSpan = 4096;
    static constexpr uint64_t kTableSpan = 65535;
    static constexpr uint32_t kMaxSlots = 4096;
    static constexpr uint32_t kMaxSemaphore = 1024;
    // Random bytes s of the read locks are drawn from 1 ... kRandomSpan.
    static constexpr uint32_t kRandomSpan = 65534;

    uint64_t LockBase = 4294967295ull;
    uint64_t RecordLockSpan = 200000000ull;

    static constexpr TLockGeometry For(bool largeFileSupport) {
        return largeFileSupport ? TLockGeometry{9223372036854775807ull, 1000000000ull}
                                : TLockGeometry{4294967295ull, 200000000ull};
    }

    // --- Lock file ---
    constexpr TLockRegion LockFileReadByte(uint32_t s) const { return {LockBase - kHeaderSpan + s - 1, 1}; }
    constexpr TLockRegion LockFileWriteRegion() const { return {LockBase - kHeaderSpan, kHeaderSpan}; }
    constexpr TLockRegion TransByte(uint32_t slot) const { return {LockBase - kHeaderSpan - slot, 1}; }
    constexpr TLockRegion AllTransRegion() const { return {LockBase - kHeaderSpan - kTransSpan, kTransSpan}; }
    constexpr uint64_t TableRegionStart(uint32_t slot) const {
        return LockBase - kHeaderSpan - kTransSpan - uint64_t{slot} * kTableSpan;
    }
    constexpr TLockRegion TableReadByte(uint32_t slot, uint32_t s) const { return {TableRegionStart(slot) + s - 1, 1}; }
    constexpr TLockRegion TableWriteRegion(uint32_t slot) const { return {TableRegionStart(slot), kTableSpan}; }
    constexpr TLockRegion AllWriteRegion() const { return {TableRegionStart(kMaxSlots), kMaxSlots * kTableSpan}; }

    // --- Data file ---
    constexpr TLockRegion RecordByte(uint32_t record) const { return {LockBase - record, 1}; }
    constexpr TLockRegion AllRecordsRegion() const { return {LockBase - RecordLockSpan, RecordLockSpan}; }
    constexpr TLockRegion SemaphoreByte(uint32_t n) const { return {LockBase - RecordLockSpan - n, 1}; }
    constexpr TLockRegion AllSemaphoresRegion() const { return {LockBase - RecordLockSpan - kMaxSemaphore, kMaxSemaphore}; }
};

}  // namespace dezede
