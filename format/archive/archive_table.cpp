// Character tables for an archive: which codes a table may give, the whole listing of
// the game's encoding, and string bytes shown through a table.
#include <algorithm>

#include "format/archive/archive.h"
#include "format/archive/char_map.h"
#include "format/archive/game_text.h"

namespace {

constexpr std::uint8_t backslash = 0x5C;
constexpr std::uint8_t line_break_code[] = {backslash, 'n'};

// Why a table may not give `code`, or none.
failure code_fault(std::span<const std::uint8_t> code)
{
    if (code.size() == 2)
        return is_game_lead(code[0]) ? failure::none : failure::table_not_one_code;
    if (code.size() != 1)
        return failure::table_not_one_code;
    if (code[0] == game_end_byte)
        return failure::table_end_byte;
    if (is_game_lead(code[0]))
        return failure::table_lone_lead;
    if (code[0] < 0x20)
        return failure::table_control_byte;
    return code[0] == backslash ? failure::table_backslash : failure::none;
}

// Writes the codes whose character (one a table text may be) has them as its canonical
// code, or, with `canonical` false, as another code.
void write_codes(text_output& out, bool canonical)
{
    for (unsigned lead = 0; lead <= 4; ++lead)
        for (unsigned c = lead == 0 ? 0x20 : 0; c < 256; ++c) {
            const game_code code{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(c), false};
            const char32_t character = lead != 0 || c >= 0x80 ? game_character(char_map_entry(code.lead, code.byte))
                                       : c <= 0x7E        ? c
                                                          : 0;
            const std::uint8_t bytes[2] = {code.lead, code.byte};
            const std::span<const std::uint8_t> stored = lead != 0 ? std::span(bytes, 2) : std::span(bytes + 1, 1);
            if (character != 0 && character != U'{' && character != U'}' && code_fault(stored) == failure::none &&
                (game_shown_character(code) != 0) == canonical)
                write_table_line(out, stored, character);
        }
}

} // namespace

status check_archive_table(const char_table& table)
{
    for (const char_table_entry& entry : table.entries) {
        status s{};
        if (entry.kind == table_line_kind::line_break && !std::ranges::equal(entry.code, line_break_code))
            s = table_fault(failure::table_other_break, {entry.kind, {backslash, 'n'}, {}, entry.line});
        else if (entry.kind == table_line_kind::end && !std::ranges::equal(entry.code, std::span(&game_end_byte, 1)))
            s = table_fault(failure::table_other_end, {entry.kind, {game_end_byte}, {}, entry.line});
        else if (entry.kind == table_line_kind::text)
            s = table_fault(code_fault(entry.code), entry);
        if (failed(s))
            return s;
    }
    return {};
}

void write_archive_table(text_output& out)
{
    write_codes(out, true);
    write_codes(out, false);
    write_table_ends(out, line_break_code, game_end_byte);
}

void archive_text(const char_table& table, std::span<const std::uint8_t> bytes, std::string& text)
{
    if (table.by_code.empty()) {
        archive_text(bytes, text);
        return;
    }
    std::vector<std::uint8_t> stored(bytes.begin(), bytes.end());
    stored.push_back(game_end_byte);
    table_decoding decoding;
    game_reader reader{0};
    game_code code{};
    // A backslash waits for the code after it, which may make it the line break.
    bool backslash_waits = false;
    std::size_t at = 0;
    for (; next_game_code(stored, reader, code) == game_step::code; at = reader.position) {
        const std::size_t length = reader.position - at;
        if (backslash_waits && !code.line_break)
            add_table_code(table, stored, at - 1, 1, false, U'\\', decoding);
        if (code.line_break)
            add_table_code(table, stored, at - 1, 2, true, 0, decoding);
        backslash_waits = code.lead == 0 && code.byte == backslash;
        if (!backslash_waits && !code.line_break)
            add_table_code(table, stored, at, length, false, game_shown_character(code), decoding);
    }
    if (backslash_waits)
        add_table_code(table, stored, at - 1, 1, false, U'\\', decoding);
    std::vector<text_problem> none; // the text is the codes' texts: it has no faults
    read_text_units(decoding.text, decoding.units, none);
    game_unit_codes(decoding.units);
    table_decoded_text(table, stored, decoding, text);
}
