#pragma once
// The contents of a directory's lock file: the list that gives every shared
// table its slot number.
//
//   offset 0  change counter (signed 32-bit LE), moved on every rewrite
//   offset 4  L = 4 + size of the entries (signed 32-bit LE)
//   offset 8  the entries: a length byte, then that many name characters
//
// Entry k (from 1) is slot k. The reader treats the bytes as hostile: it
// reads as far as the entries are sound (a truncated file, a length field
// larger than the file, an entry running past the end all end the list
// there) and never more than the protocol's 4,096 slots.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dezede {

inline constexpr size_t kLockFileHeaderSize = 8;
// The most entry bytes a list of 4,096 names of up to 255 characters takes.
inline constexpr size_t kLockFileMaxEntryBytes = 4096 * 256;

// MaxInt is followed by 1, every other value by value + 1.
int32_t NextLockFileCounter(int32_t counter);

// How many entry bytes to read after the 8-byte header, given L as stored:
// L - 4, or 0 when L is below 4, capped at kLockFileMaxEntryBytes.
size_t LockFileEntryBytes(int32_t length);

// The names of the entries in data, in slot order, as far as they are sound.
std::vector<std::string> ParseLockFileEntries(const uint8_t* data, size_t size);

// The block written at offset 4: L followed by every entry in slot order.
// Names longer than 255 characters are cut.
std::vector<uint8_t> BuildLockFileBlock(const std::vector<std::string>& names);

}  // namespace dezede
