#pragma once
// The game's text encoding as the archive stores it: printable ASCII as itself, single
// bytes 0x80-0xFF and two-byte codes (lead 0x01-0x04, then any second byte) through the
// character map, 0x1F as the end of a string, a backslash-n as a line break, and every
// other byte a control byte. Reading goes a code at a time; the printer, the export to
// text and the check of imported text all take their codes from next_game_code.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/archive/char_map.h"
#include "format/char_table.h"
#include "format/notation.h"
#include "io/status.h"

inline constexpr std::uint8_t game_end_byte = 0x1F;

inline bool is_game_lead(std::uint8_t c) { return c >= 0x01 && c <= 0x04; }

// Where a string is being read, and whether the byte read last as a single byte was a
// backslash. Only an n right after such a backslash breaks the line; a lead byte clears
// the flag and its second byte neither tests nor sets it.
struct game_reader {
    std::uint64_t position;
    bool backslash = false;
};

struct game_code {
    std::uint8_t lead; // 0x01-0x04 for a two-byte code, 0 for a single byte
    std::uint8_t byte; // the single byte, or the second byte
    bool line_break;   // this is the n of a backslash-n: the line breaks after it
};

enum class game_step {
    code,        // `code` holds the next code
    end,         // the end byte: the string is complete
    data_end,    // the data ended before the next code
    lead_at_end, // the data ended after a lead byte
};

// Reads the next code of the string at `reader` from `data`. A second byte is never an
// end, lead or control byte.
inline game_step next_game_code(std::span<const std::uint8_t> data, game_reader& reader, game_code& code)
{
    if (reader.position >= data.size())
        return game_step::data_end;
    const std::uint8_t c = data[reader.position++];
    if (is_game_lead(c)) {
        reader.backslash = false;
        if (reader.position >= data.size())
            return game_step::lead_at_end;
        code = {c, data[reader.position++], false};
        return game_step::code;
    }
    if (c == game_end_byte)
        return game_step::end;
    code = {0, c, reader.backslash && c == 'n'};
    reader.backslash = c == '\\';
    return game_step::code;
}

// The text of the string that starts at data[start], in the text notation: each code's
// canonical character, the line break as a line feed, every other code as an escape.
// Fails with out_of_buffer when the data ends before the string's end byte. `end`, when
// given, receives the position after the end byte.
status game_text_of(std::span<const std::uint8_t> data, std::uint64_t start, std::string& text,
                    std::uint64_t* end = nullptr);

// The same text of string bytes without their end byte, a table lookup per code: a
// lead byte last takes the end byte, and an end byte ends the text, as in the file.
void game_text_of_bytes(std::span<const std::uint8_t> bytes, std::string& text);

// Finds the end of the string that starts at data[start] as game_text_of does, without
// its text: `end` is the position after the end byte.
status game_string_end(std::span<const std::uint8_t> data, std::uint64_t start, std::uint64_t& end);

// The canonical code of a character (game_code_of), by table lookup.
game_char_code game_canonical_code(char32_t c);

// The character that a code is shown as: its character when the code is that
// character's canonical code, else 0 (an escape).
char32_t game_shown_character(const game_code& code);

// Puts each character unit's canonical code into its bytes (none: no code).
void game_unit_codes(std::vector<text_unit>& units);

// The bytes of a text (without the end byte), every fault of its notation and every
// character without a code in `coded.problems`; with a table, its codes chosen as
// apply_char_table chooses them.
void game_text_bytes(std::string_view text, coded_text& coded);
void game_text_bytes(const char_table& table, std::string_view text, coded_text& coded);

// The same, returning only the first fault (none: `at` is the text's size).
text_fault game_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at);

// The stored bytes of a text when it is the one text of those bytes in an archive: the
// faults of game_text_bytes, else every byte that the game would read otherwise (an end
// byte inside, a lead byte taking the end byte), else the text the bytes read back as
// when it differs. With a table, the bytes are read back through it.
void game_stored_bytes(std::string_view text, coded_text& coded);
void game_stored_bytes(const char_table& table, std::string_view text, coded_text& coded);
