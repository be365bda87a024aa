#pragma once
// Fault injection for the file layer. Tests arm rules that make the next
// matching system calls fail the way a real system can (short reads, failed
// writes, a full disk, refused locks, failed flushes), so that every failure
// path above can be provoked. Unarmed, a check costs one relaxed atomic load.
//
//   TFaultScope faults;                       // clears every rule on exit
//   faults.Arm({.Kind = TFault::DiskFull, .PathPart = "orders.dat", .Skip = 2});

#include <cstdint>
#include <string>

namespace dezede {

enum class TFault : uint8_t {
    ShortRead,              // a read returns half of what was asked (at least one byte less)
    FailedRead,             // a read fails with EIO, nothing read
    FailedWrite,            // a write fails with EIO, nothing written
    DiskFull,               // a write stores half of its bytes, then fails with ENOSPC
    FailedLock,             // a byte-range lock is refused
    FailedSync,             // fdatasync fails with EIO
    FailedTruncate,         // ftruncate fails with EIO
    RefuseReadWriteOpen,    // opening for reading and writing fails with EACCES
};

struct TFaultRule {
    TFault Kind = TFault::FailedWrite;
    std::string PathPart;   // fires only for paths containing this text; empty: any path
    uint32_t Skip = 0;      // matching calls let through before the first firing
    int32_t Times = 1;      // firings before the rule expires; negative: forever
};

class TFaultInjector {
public:
    static void Arm(const TFaultRule& rule);
    static void Reset();
    // True when an armed rule fires for this call (consumes one firing).
    static bool Fire(TFault kind, const std::string& path);
};

// Arms rules for one test and clears all of them when it ends.
class TFaultScope {
public:
    TFaultScope() = default;
    ~TFaultScope() { TFaultInjector::Reset(); }
    TFaultScope(const TFaultScope&) = delete;
    TFaultScope& operator=(const TFaultScope&) = delete;
    void Arm(const TFaultRule& rule) { TFaultInjector::Arm(rule); }
};

}  // namespace dezede
