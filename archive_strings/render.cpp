// The dump of an archive section: every string on a line of its own, its characters
// through the character map, codes without a character and control bytes as their
// hexadecimal values, a backslash-n followed by a continuation line.
#include "archive_strings/archive.h"
#include "archive_strings/char_map.h"
#include "archive_strings/game_text.h"
#include "common/frame.h"

namespace {

// The continuation indents are as wide as the two line prefixes with three-digit
// numbers; they do not grow when a number needs more digits.
constexpr std::size_t indent_normal = 18;
constexpr std::size_t indent_verbose = 28;

void print_hex_code(text_output& out, std::uint8_t c)
{
    out_byte(out, '(');
    out_hex(out, c, 2);
    out_byte(out, ')');
}

// Prints a code: a map character, preceded by the code's hexadecimal value when the
// map has no character for it; printable ASCII as itself; a control byte as its value
// and a blank.
void print_code(text_output& out, const game_code& code)
{
    const std::uint8_t c = code.byte;
    if (code.lead == 0 && c < 0x80) {
        if (c >= 0x20 && c <= 0x7E) {
            out_byte(out, static_cast<char>(c));
        } else {
            print_hex_code(out, c);
            out_byte(out, ' ');
        }
        return;
    }
    const std::string_view entry = char_map[char_map_entry(code.lead, c)];
    if (entry == char_map_mark) {
        if (code.lead != 0)
            print_hex_code(out, code.lead);
        print_hex_code(out, c);
    }
    // Every entry is one character of three bytes; copied byte by byte, as a call to a
    // general copy costs more than the copy itself.
    if (entry.size() == 3 && output_buffer_size - out.used >= 3) {
        out.buffer[out.used] = entry[0];
        out.buffer[out.used + 1] = entry[1];
        out.buffer[out.used + 2] = entry[2];
        out.used += 3;
        return;
    }
    out_text(out, entry);
}

// Renders the string at position `p` of the section's data. The indent of a line break
// is printed when the next code is read, before its output, and not when the string
// ends there.
status render_string(const loaded_section& section, std::int32_t b, std::int32_t s, std::uint64_t p,
                     bool verbose, text_output& out)
{
    // In verbose mode the prefix shows the offset within the section; the section's
    // file offset is not added.
    write_line_prefix(out, {section.number, b, s}, verbose, p);
    game_reader reader{p};
    game_code code{};
    bool indent_pending = false;
    for (;;) {
        const game_step step = next_game_code(section.bytes.data, reader, code);
        if (step == game_step::end)
            break;
        if (step == game_step::data_end)
            return fail(failure::out_of_buffer);
        if (indent_pending) {
            indent_pending = false;
            out_byte(out, '\n');
            out_blanks(out, verbose ? indent_verbose : indent_normal);
        }
        if (step == game_step::lead_at_end)
            return fail(failure::out_of_buffer);
        print_code(out, code);
        indent_pending = code.line_break;
    }
    out_byte(out, '\n');
    return {};
}

} // namespace

status print_section_strings(const loaded_section& section, bool verbose, text_output& out)
{
    const string_directory& dir = section.directory;
    for (std::uint32_t b = 0; b < dir.num_blocks; ++b) {
        const string_block& block = dir.blocks[b];
        for (std::uint32_t s = 0; s < block.count; ++s) {
            const std::uint64_t p = string_start(section.bytes.data, block, s);
            const status result = render_string(section, static_cast<std::int32_t>(b), static_cast<std::int32_t>(s),
                                                 p, verbose, out);
            if (failed(result))
                return result;
        }
    }
    return {};
}
