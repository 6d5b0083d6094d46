#pragma once
// The one readable notation for the bytes of a string. Example sources, test case
// files and exported PO files all write texts this way:
//   - a character stands for its one canonical code in the string's encoding (the
//     archive's character map, or Shift-JIS for a pack);
//   - a line feed stands for the game's line break (backslash-n in the archive, the
//     byte 0x0A in a pack);
//   - "{" opens an escape of raw bytes in hexadecimal, one per code: "{0A}", "{01 79}".
//     A literal "{" is therefore "{7B}".
// Every byte string has exactly one text: bytes that have no canonical character are
// written as escapes. This file holds what the encodings share: UTF-8, escapes and the
// units of a text, and the C-style quoting that line-based files and PO files put
// around a text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// UTF-8. read_utf8 returns the length of the well-formed character at text[at] (no
// surrogates, no overlong forms), or 0.
void append_utf8(std::string& out, char32_t c);
std::size_t read_utf8(std::string_view text, std::size_t at, char32_t& c);

// Writes character `c` whose code is `code`: the character itself, or the escape of
// its code where the character would open an escape.
void append_character(std::string& out, char32_t c, std::span<const std::uint8_t> code);
// Writes the escape "{XX XX}" of `code`.
void append_escape(std::string& out, std::span<const std::uint8_t> code);

// One unit of a text: raw bytes from an escape, the game's line break, or a character.
enum class text_unit_kind { escape, line_break, character };
enum class text_fault { none, bad_utf8, bad_escape, no_code, control };
struct text_unit {
    text_unit_kind kind;
    char32_t character;              // the character of a character unit
    std::size_t at;                  // where the unit starts in the text
    std::vector<std::uint8_t> bytes; // the bytes of an escape
};
// Reads the unit at text[at] and moves `at` past it. Returns none, or bad_utf8 or
// bad_escape with `at` left at the unit. Control characters other than the line feed
// are refused (control): they are written as escapes.
text_fault read_text_unit(std::string_view text, std::size_t& at, text_unit& unit);

// The bytes of an escape or line-break unit, appended to `bytes` (`line_break` for the
// line break); returns false for a character unit, which the text's encoding codes.
bool append_unit_bytes(const text_unit& unit, std::span<const std::uint8_t> line_break,
                       std::vector<std::uint8_t>& bytes);

// The position of byte `at` of a UTF-8 text in characters, counted from 1.
std::size_t character_column(std::string_view text, std::size_t at);

// C-style quoting, as in PO files: "..." with \n, \t, \r, \", \\ and octal escapes for
// other control characters.
void append_quoted(std::string& out, std::string_view text);
// Reads the quoted string that starts at line[at] (a double quote) into `text` and moves
// `at` past its closing quote. Besides the escapes above it reads \a \b \f \v, \xHH and
// \ooo. Returns false, with `at` at the fault, for a missing quote or a bad escape.
bool read_quoted(std::string_view line, std::size_t& at, std::string& text);
