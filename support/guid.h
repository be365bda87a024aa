#pragma once
// GUID text: the 38-character braced upper-case form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". The 16 bytes are in the Windows
// memory layout: a 32-bit, then two 16-bit fields little-endian, then 8 bytes
// as they stand. Creating GUIDs (random bytes) is the platform layer's job.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dezede {

using TGuid = std::array<uint8_t, 16>;
inline constexpr size_t kGuidTextLength = 38;

std::string GuidToText(const TGuid& guid);
// Exactly the 38-character form; hex digits in either case.
std::optional<TGuid> TextToGuid(std::string_view text);
// Marks 16 random bytes as a version 4 (random) GUID.
TGuid MakeRandomGuid(TGuid randomBytes);

}  // namespace dezede
