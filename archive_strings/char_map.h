#pragma once
#include <array>
#include <string_view>
// The game's character codes as UTF-8. Entries 0..127 serve the single bytes 0x80..0xFF
// (entry = byte - 0x80); entries 128..1151 serve the two-byte codes: lead L (0x01..0x04)
// and second byte T give entry 128 + (L - 1) * 256 + T. Every entry is one character.
inline constexpr std::size_t char_map_size = 1152;
extern const std::array<std::string_view, char_map_size> char_map;
// Codes without a character hold this mark; the printer recognises them by this text.
inline constexpr std::string_view char_map_mark = "※";
