// Rendering of the game's strings: printable ASCII as itself, single bytes 0x80-0xFF
// and the two-byte codes (lead 0x01-0x04) through the character map, 0x1F as the end
// of a string, a backslash-n as a line break with a continuation indent, and every
// other byte as its hexadecimal value.
#include "archive_strings/archive.h"
#include "archive_strings/char_map.h"
#include "common/frame.h"

namespace {
constexpr std::uint8_t end_byte = 0x1F;
// The continuation indents are as wide as the two line prefixes with three-digit
// numbers; they do not grow when a number needs more digits.
constexpr std::size_t indent_normal = 18;
constexpr std::size_t indent_verbose = 28;
} // namespace

// Prints a map entry; a code without a character is preceded by its hexadecimal value.
static void print_entry(text_output& out, std::string_view entry, int lead, std::uint8_t code)
{
    if (entry == char_map_mark) {
        if (lead != 0) {
            out_byte(out, '(');
            out_hex(out, static_cast<std::uint64_t>(lead), 2);
            out_byte(out, ')');
        }
        out_byte(out, '(');
        out_hex(out, code, 2);
        out_byte(out, ')');
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

// Renders the string at position `p` of the section's data. Returns 0, or -1 after
// "\nERROR: out of buffer\n" when the data ends before the string's end byte.
static int render_string(const loaded_section& section, std::int32_t b, std::int32_t s,
                         std::uint64_t p, text_output& out)
{
    const bool verbose = verbose_level != 0;
    const std::uint8_t* data = section.data.data();
    const std::uint64_t end = section.data.size();

    // In verbose mode the prefix shows the offset within the section; the section's
    // file offset is not added.
    write_line_prefix(out, {section.number, b, s}, verbose, p);

    int lead = 0; // pending lead byte, 0 when none
    bool backslash = false;
    bool indent_pending = false;
    for (;;) {
        if (p >= end) {
            out_text(out, "\nERROR: out of buffer\n");
            return -1;
        }
        const std::uint8_t c = data[p++];
        if (c == end_byte && lead == 0)
            break;
        if (indent_pending) {
            indent_pending = false;
            out_byte(out, '\n');
            out_blanks(out, verbose ? indent_verbose : indent_normal);
        }
        if (lead != 0) {
            // A second byte is never an end, lead or control byte, and it neither
            // tests nor sets the backslash flag.
            print_entry(out, char_map[static_cast<std::size_t>(128 + (lead - 1) * 256 + c)], lead, c);
            lead = 0;
            continue;
        }
        if (c >= 0x80)
            print_entry(out, char_map[c - 0x80u], 0, c);
        else if (c >= 0x20 && c <= 0x7E)
            out_byte(out, static_cast<char>(c));
        else if (c >= 0x01 && c <= 0x04)
            lead = c;
        else {
            out_byte(out, '(');
            out_hex(out, c, 2);
            out_text(out, ") ");
        }
        // Only an n right after a single-byte backslash breaks the line.
        if (backslash && c == 'n')
            indent_pending = true;
        backslash = c == '\\';
    }
    out_byte(out, '\n');
    return 0;
}

int print_section_strings(const loaded_section& section, text_output& out)
{
    const string_directory& dir = section.directory;
    for (std::uint32_t b = 0; b < dir.num_blocks; ++b) {
        const string_block& block = dir.blocks[b];
        for (std::uint32_t s = 0; s < block.count; ++s) {
            const std::uint64_t p = string_start(section.data, block, s);
            if (render_string(section, static_cast<std::int32_t>(b), static_cast<std::int32_t>(s), p, out) != 0)
                return -1;
        }
    }
    return 0;
}
