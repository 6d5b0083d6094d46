#pragma once
// Shift-JIS in its Windows form (code page 932): the text of the pack files. A character
// is one byte (ASCII, half-width katakana) or a lead byte followed by a trail byte. These
// functions map both ways between those bytes and Unicode over tables built into the
// program (cp932_table.cpp, written by tools/make-cp932-table.py from Python's cp932
// codec); they allocate nothing and never fail. Every character is in the BMP.
#include <cstddef>
#include <cstdint>

// The character of the single byte `byte`: 0x00-0x7F are ASCII (0x5C is the backslash,
// 0x7E the tilde), 0xA1-0xDF the half-width katakana U+FF61-U+FF9F. Returns 0 for the
// bytes that stand for no character alone: lead bytes (0x81-0x9F, 0xE0-0xFC), 0x80, 0xA0, 0xFD-0xFF.
// Byte 0x00 is U+0000 and so also returns 0: the caller tells it apart by the byte.
char32_t cp932_single(std::uint8_t byte);

// Whether `byte` opens a two-byte character (0x81-0x9F or 0xE0-0xFC).
inline bool cp932_is_lead(std::uint8_t byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Whether `byte` can follow a lead byte (0x40-0xFC except 0x7F).
inline bool cp932_is_trail(std::uint8_t byte)
{
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// The character of the pair lead/trail, or 0 when the pair is unassigned, when `lead` is not
// a lead byte or `trail` is not a trail byte (0x40-0xFC except 0x7F), and for the
// user-defined rows 0xF040-0xF9FC (which map to the private use area U+E000-U+E757).
char32_t cp932_pair(std::uint8_t lead, std::uint8_t trail);

// The canonical code of a character: the bytes that code page 932 encodes it as
// (as Python's cp932 encoder does: e.g. U+FFE2 is 0x81 0xCA, not 0xEE 0xF9 or 0xFA 0x54).
// length is 0 when the character has no code (and for the private use area and U+0080,
// whose bytes decode to no character here), 1 for a single byte, 2 for a pair.
// Like that encoder, it also gives six characters that no pair decodes to the pair of
// their full-width look-alike: U+00A2 -> 0x8191 (U+FFE0), U+00A3 -> 0x8192 (U+FFE1),
// U+00AC -> 0x81CA (U+FFE2), U+2016 -> 0x8161 (U+2225), U+2212 -> 0x817C (U+FF0D) and
// U+301C -> 0x8160 (U+FF5E).
struct cp932_code {
    std::uint8_t length;
    std::uint8_t bytes[2];
};
cp932_code cp932_encode(char32_t c);

// The tables behind these functions, in cp932_table.cpp. cp932_pair_chars[row][trail - 0x40]
// is the character of a pair, 0 for none; rows 0-30 are the leads 0x81-0x9F, rows 31-59
// the leads 0xE0-0xFC. cp932_pair_codes holds character << 16 | lead << 8 | trail for
// every character whose code is a pair, sorted, so each character appears once.
inline constexpr std::size_t cp932_lead_count = 60;
inline constexpr std::size_t cp932_trail_count = 189;
extern const std::uint16_t cp932_pair_chars[cp932_lead_count][cp932_trail_count];
extern const std::uint32_t cp932_pair_codes[];
extern const std::size_t cp932_pair_code_count;
