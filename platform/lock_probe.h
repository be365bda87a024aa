#pragma once
// Asks the kernel which byte ranges of a file other open file descriptions
// hold locked, without taking a lock: F_OFD_GETLK walks over a region. Every
// conflicting lock found splits the region into the parts before and after
// it, which are asked in turn, so the whole region is covered with one call
// per lock found plus one per gap. Locks held through the prober's own
// descriptor are not seen (it opens its own, read-only, and closes it).

#include <cstdint>
#include <string>
#include <vector>

namespace dezede {

struct TLockSpan {
    uint64_t Offset = 0;
    uint64_t Length = 0;
    bool Write = false;  // a write lock (else a read lock, from a read-only descriptor)
    uint64_t Last() const { return Offset + Length - 1; }
};

class TLockProbe {
public:
    TLockProbe() = default;
    ~TLockProbe();
    TLockProbe(const TLockProbe&) = delete;
    TLockProbe& operator=(const TLockProbe&) = delete;

    // Opens the file read-only; 0 or a Windows error number.
    uint32_t Open(const std::string& path);
    void Close();
    bool IsOpen() const { return Fd_ >= 0; }
    // Reads up to count bytes at offset; returns the bytes read (short at the
    // end of the file or on an error).
    size_t ReadAt(void* buffer, size_t count, uint64_t offset) const;

    // The locks held over [offset, offset + length - 1], sorted by offset,
    // each cut to the region. At most maxSpans are returned (the walk stops
    // there); false when the kernel refused a query.
    bool Walk(uint64_t offset, uint64_t length, std::vector<TLockSpan>* spans, size_t maxSpans = 1u << 20) const;

private:
    int Fd_ = -1;
};

}  // namespace dezede
