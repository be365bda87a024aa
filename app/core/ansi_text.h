#pragma once
// The program's strings are single-byte Windows-1252 text; dialogs take UTF-16.

#include <string>
#include <string_view>

namespace dezede::freebolt {

std::u16string AnsiToWide(std::string_view text);
// Characters outside Windows-1252 become "?".
std::string WideToAnsi(std::u16string_view text);

// A copy with each carriage return (alone or before a line feed) turned into a line feed.
std::string CarriageReturnsToLineBreaks(std::string_view text);
std::u16string CarriageReturnsToLineBreaks(std::u16string_view text);

}  // namespace dezede::freebolt
