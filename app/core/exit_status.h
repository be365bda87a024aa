#pragma once
// Freebolt's exit statuses.

namespace dezede::freebolt {

inline constexpr int kExitOk = 0;          // the program ended normally (locks cleared, or cancelled)
inline constexpr int kExitNotCleared = 1;  // a non-interactive run ended with the locks not cleared
inline constexpr int kExitUsage = 2;       // bad command line
// 70: an unhandled error, reported by the crash reporter (platform/crash_reporter.h).

}  // namespace dezede::freebolt
