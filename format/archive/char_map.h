#pragma once
// The game's character codes and their characters. Entries 0..127 serve the single
// bytes 0x80..0xFF (entry = byte - 0x80); entries 128..1151 serve the two-byte codes:
// lead L (0x01..0x04) and second byte T give entry 128 + (L - 1) * 256 + T. Every entry
// is one character in UTF-8.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::size_t char_map_size = 1152;
extern const std::array<std::string_view, char_map_size> char_map;
// Codes without a character hold this mark; the printer recognises them by this text.
inline constexpr std::string_view char_map_mark = "※";

inline std::size_t char_map_entry(std::uint8_t lead, std::uint8_t byte)
{
    return lead == 0 ? static_cast<std::size_t>(byte - 0x80u) : 128u + (lead - 1u) * 256u + byte;
}

// The code of a character: one byte (lead 0) or a lead byte and a second byte.
struct game_char_code {
    std::uint8_t length; // 0 when the character has no code
    std::uint8_t bytes[2];
};

// The canonical code of `c`: printable ASCII as itself, every other character through
// the map. ー, the only character with two codes, is written as 0xB0 (the katakana one).
game_char_code game_code_of(char32_t c);

// The character of a map entry, or 0 for a mark entry.
char32_t game_character(std::size_t entry);
