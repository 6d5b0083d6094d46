#include "format/archive/game_text.h"

#include "format/archive/archive.h"
#include "format/archive/char_map.h"

namespace {

// The text of a code as game_text_of writes it: its canonical character in UTF-8, or
// its escape (at most "{XX XX}").
struct code_text {
    std::uint8_t length;
    char text[7];
};

// Every code's text, indexed by lead * 256 + byte; built once from game_shown_character.
std::span<const code_text> code_texts()
{
    static const std::vector<code_text> table = [] {
        std::vector<code_text> t(5 * 256);
        std::string one;
        for (unsigned lead = 0; lead <= 4; ++lead)
            for (unsigned byte = 0; byte < 256; ++byte) {
                const game_code code{static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(byte), false};
                const std::uint8_t bytes[2] = {code.lead, code.byte};
                const std::span<const std::uint8_t> stored = lead != 0 ? std::span(bytes, 2) : std::span(bytes + 1, 1);
                one.clear();
                if (const char32_t character = game_shown_character(code); character != 0)
                    append_character(one, character, stored);
                else
                    append_escape(one, stored);
                code_text& entry = t[lead * 256 + byte];
                entry.length = static_cast<std::uint8_t>(one.size());
                one.copy(entry.text, one.size());
            }
        return t;
    }();
    return table;
}

// Each character's canonical code, for the characters up to U+FFFF (every character of
// the map); built once from the map's inverse.
std::span<const game_char_code> codes_by_character()
{
    static const std::vector<game_char_code> table = [] {
        std::vector<game_char_code> t(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            t[c] = game_code_of(c);
        return t;
    }();
    return table;
}

} // namespace

game_char_code game_canonical_code(char32_t c)
{
    return c < 0x10000 ? codes_by_character()[c] : game_char_code{0, {0, 0}};
}

void game_text_of_bytes(std::span<const std::uint8_t> bytes, std::string& text)
{
    text.clear();
    const std::span<const code_text> texts = code_texts();
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    bool backslash = false;
    while (p < end) {
        const std::uint8_t c = *p++;
        if (is_game_lead(c)) {
            backslash = false;
            // A lead byte last takes the end byte as its second byte.
            const code_text& t = texts[c * 256u + (p < end ? *p++ : game_end_byte)];
            text.append(t.text, t.length);
            continue;
        }
        if (backslash && c == 'n') {
            text.back() = '\n'; // the backslash before it was written as itself
            backslash = false;
            continue;
        }
        if (c == game_end_byte) // ends the string, as it would in the file
            break;
        backslash = c == '\\';
        const code_text& t = texts[c];
        if (t.length == 1)
            text += t.text[0];
        else
            text.append(t.text, t.length);
    }
}

status game_string_end(std::span<const std::uint8_t> data, std::uint64_t start, std::uint64_t& end)
{
    // Only an end byte outside a two-byte code ends the string.
    for (std::uint64_t p = start; p < data.size();) {
        const std::uint8_t c = data[p++];
        if (c == game_end_byte) {
            end = p;
            return {};
        }
        if (is_game_lead(c) && p++ >= data.size())
            break;
    }
    return fail(failure::out_of_buffer);
}

status game_text_of(std::span<const std::uint8_t> data, std::uint64_t start, std::string& text, std::uint64_t* end)
{
    text.clear();
    game_reader reader{start};
    game_code code{};
    for (;;) {
        const game_step step = next_game_code(data, reader, code);
        if (step == game_step::end) {
            if (end)
                *end = reader.position;
            return {};
        }
        if (step != game_step::code)
            return fail(failure::out_of_buffer);
        const std::uint8_t bytes[2] = {code.lead, code.byte};
        const std::span<const std::uint8_t> stored = code.lead != 0 ? std::span(bytes, 2) : std::span(bytes + 1, 1);
        if (code.line_break) {
            text.back() = '\n'; // the backslash before it was written as itself
            continue;
        }
        if (const char32_t character = game_shown_character(code); character != 0)
            append_character(text, character, stored);
        else
            append_escape(text, stored);
    }
}

char32_t game_shown_character(const game_code& code)
{
    const std::uint8_t c = code.byte;
    char32_t character = 0;
    if (code.lead != 0 || c >= 0x80)
        character = game_character(char_map_entry(code.lead, c));
    else if (c >= 0x20 && c <= 0x7E)
        character = c;
    // A character is written only for its canonical code; ー has a second one.
    const game_char_code canonical = game_code_of(character);
    const bool same = canonical.length == (code.lead != 0 ? 2 : 1) &&
                      (code.lead != 0 ? canonical.bytes[0] == code.lead && canonical.bytes[1] == c : canonical.bytes[0] == c);
    return same ? character : 0;
}

void game_unit_codes(std::vector<text_unit>& units)
{
    for (text_unit& unit : units)
        if (unit.kind == text_unit_kind::character) {
            const game_char_code code = game_canonical_code(unit.character);
            unit.bytes.assign(code.bytes, code.bytes + code.length);
        }
}

// The game's line break: a backslash and an n.
static constexpr std::uint8_t line_break[] = {'\\', 'n'};

void game_text_bytes(const char_table& table, std::string_view text, coded_text& coded)
{
    coded = coded_text{};
    std::vector<text_unit> units;
    std::vector<text_problem> problems;
    read_text_units(text, units, problems);
    game_unit_codes(units);
    apply_char_table(table, text, units);
    join_text_units(units, line_break, problems, coded);
}

void game_text_bytes(std::string_view text, coded_text& coded) { game_text_bytes(char_table{}, text, coded); }

text_fault game_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    coded_text coded;
    game_text_bytes(text, coded);
    return first_fault(std::move(coded), text.size(), bytes, at);
}

void game_stored_bytes(const char_table& table, std::string_view text, coded_text& coded)
{
    game_text_bytes(table, text, coded);
    if (!coded.problems.empty())
        return;
    // Read as the game reads them, the bytes must end at the end byte after them.
    const std::span<const std::uint8_t> bytes = coded.bytes;
    game_reader reader{0};
    game_code code{};
    for (game_step step; (step = next_game_code(bytes, reader, code)) != game_step::data_end;) {
        if (step == game_step::end)
            coded.problems.push_back({text_fault::end_byte, unit_of_byte(coded, reader.position - 1), {}});
        if (step == game_step::lead_at_end) {
            coded.problems.push_back({text_fault::lead_before_end, unit_of_byte(coded, bytes.size() - 1), {}});
            break;
        }
    }
    if (!coded.problems.empty())
        return;
    std::string back;
    archive_text(table, bytes, back);
    compare_read_back(text, back, true, coded);
}

void game_stored_bytes(std::string_view text, coded_text& coded) { game_stored_bytes(char_table{}, text, coded); }
