#include "format/archive/game_text.h"

#include "format/archive/char_map.h"

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
        const std::uint8_t c = code.byte;
        char32_t character = 0;
        if (code.lead != 0 || c >= 0x80)
            character = game_character(char_map_entry(code.lead, c));
        else if (c >= 0x20 && c <= 0x7E)
            character = c;
        // A character is written only for its canonical code; ー has a second one.
        const game_char_code canonical = game_code_of(character);
        if (character != 0 && canonical.length == stored.size() && canonical.bytes[0] == stored[0] &&
            (stored.size() == 1 || canonical.bytes[1] == stored[1]))
            append_character(text, character, stored);
        else
            append_escape(text, stored);
    }
}

// The game's line break: a backslash and an n.
static constexpr std::uint8_t line_break[] = {'\\', 'n'};

text_fault game_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    bytes.clear();
    text_unit unit;
    at = 0;
    while (at < text.size()) {
        const text_fault fault = read_text_unit(text, at, unit);
        if (fault != text_fault::none)
            return fault;
        if (append_unit_bytes(unit, line_break, bytes))
            continue;
        const game_char_code code = game_code_of(unit.character);
        if (code.length == 0) {
            at = unit.at;
            return text_fault::no_code;
        }
        bytes.insert(bytes.end(), code.bytes, code.bytes + code.length);
    }
    return text_fault::none;
}
