#pragma once
// The Windows error numbers the engine's error mapping expects, and the
// translation of errno into them. Unknown errno values keep a distinct number
// of their own (kWinUnknownBase | errno) so that no two of them collide.

#include <cstdint>

namespace dezede {

inline constexpr uint32_t kWinFileNotFound = 2;
inline constexpr uint32_t kWinPathNotFound = 3;
inline constexpr uint32_t kWinTooManyOpenFiles = 4;
inline constexpr uint32_t kWinAccessDenied = 5;
inline constexpr uint32_t kWinInvalidHandle = 6;
inline constexpr uint32_t kWinNotEnoughMemory = 8;
inline constexpr uint32_t kWinInvalidDrive = 15;
inline constexpr uint32_t kWinNotSameDevice = 17;
inline constexpr uint32_t kWinSharingViolation = 32;
inline constexpr uint32_t kWinAlreadyExists = 183;
inline constexpr uint32_t kWinUnknownBase = 0x20000000;  // the "customer" bit of Windows codes

uint32_t WindowsErrorFromErrno(int err);

}  // namespace dezede
