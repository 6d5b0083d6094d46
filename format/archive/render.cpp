// The dump of an archive section: every string on a line of its own, its characters
// through the character map, codes without a character and control bytes as their
// hexadecimal values, a backslash-n followed by a continuation line.
#include <array>
#include <bit>
#include <cstring>

#include "format/archive/archive.h"
#include "format/archive/char_map.h"
#include "format/archive/game_text.h"
#include "format/dump_line.h"
#include "format/lanes.h"

namespace {

// The continuation indents are as wide as the two line prefixes with three-digit
// numbers; they do not grow when a number needs more digits.
constexpr std::size_t indent_normal = 18;
constexpr std::size_t indent_verbose = 28;

// The text of every code, made once: a map character, preceded by the code's
// hexadecimal value when the map has no character for it; printable ASCII as itself;
// a control byte as its value and a blank. Entries are copied whole, 16 bytes, and the
// output advances by their length: one copy per code.
struct alignas(16) code_text {
    char bytes[15];
    std::uint8_t length;
};

// Entry lead * 256 + byte: single bytes first (lead bytes and the end byte unused),
// then the codes of each lead byte.
struct code_texts {
    code_text entries[5 * 256];
};

void append_text(code_text& t, std::string_view text)
{
    std::memcpy(t.bytes + t.length, text.data(), text.size());
    t.length = static_cast<std::uint8_t>(t.length + text.size());
}

void append_hex_code(code_text& t, std::uint8_t c)
{
    const char text[4] = {'(', hex_digits[c >> 4], hex_digits[c & 0xF], ')'};
    append_text(t, std::string_view(text, 4));
}

code_text text_of(std::uint8_t lead, std::uint8_t c)
{
    code_text t{};
    if (lead == 0 && c < 0x80) {
        if (c >= 0x20 && c <= 0x7E) {
            t.bytes[0] = static_cast<char>(c);
            t.length = 1;
        } else {
            append_hex_code(t, c);
            append_text(t, " ");
        }
        return t;
    }
    const std::string_view entry = char_map[char_map_entry(lead, c)];
    if (entry == char_map_mark) {
        if (lead != 0)
            append_hex_code(t, lead);
        append_hex_code(t, c);
    }
    append_text(t, entry);
    return t;
}

// Made on first use, in static storage (20 KiB): nothing is allocated.
const code_texts& texts_of_codes()
{
    static const code_texts texts = [] {
        code_texts made{};
        for (unsigned lead = 0; lead <= 4; ++lead)
            for (unsigned c = 0; c < 256; ++c)
                made.entries[lead * 256 + c] = text_of(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(c));
        return made;
    }();
    return texts;
}

// The codes that a word holds, by the mask of its lanes that hold lead bytes and the
// number of lanes (0 to 8) before the first byte that stops the word: the lanes that
// start codes when lane 0 starts one (the second byte of a pair starts none), and the
// lanes that those codes take (a pair whose second byte lies past the limit is left).
struct word_codes {
    std::uint8_t starts;
    std::uint8_t taken;
};

constexpr std::array<std::array<word_codes, 256>, 9> codes_of_words = [] {
    std::array<std::array<word_codes, 256>, 9> codes{};
    for (unsigned limit = 0; limit <= 8; ++limit)
        for (unsigned leads = 0; leads < 256; ++leads) {
            word_codes& c = codes[limit][leads];
            for (unsigned k = 0; k + 1 + (leads >> k & 1) <= limit; k += 1 + (leads >> k & 1)) {
                c.starts = static_cast<std::uint8_t>(c.starts | 1u << k);
                c.taken = static_cast<std::uint8_t>(k + 1 + (leads >> k & 1));
            }
        }
    return codes;
}();

// Copies to `into`, advancing it, the texts of the codes that start in the eight bytes at
// `bytes` and end before the first end byte or backslash among them (the bytes that end
// a string or may break a line: the caller does not come here right after a backslash,
// so an n breaks none), and before the end of the word; `into` has room for eight whole
// entries. Returns the number of bytes they take, 0 when the first byte is one of those
// or the first code does not fit.
std::size_t copy_word_codes(const std::uint8_t* bytes, const code_texts& texts, char*& into)
{
    const std::uint64_t w = load_lanes(bytes);
    const std::uint64_t stops = lanes_equal(w, game_end_byte) | lanes_equal(w, '\\');
    const unsigned leads = lane_bits(lanes_below(w, 5) & ~lanes_below(w, 1));
    const word_codes codes = codes_of_words[stops != 0 ? static_cast<std::size_t>(std::countr_zero(stops)) / 8 : 8][leads];
    for (unsigned starts = codes.starts; starts != 0; starts &= starts - 1) {
        const int k = std::countr_zero(starts);
        const auto lanes = static_cast<unsigned>(w >> (8 * k)); // the code's bytes in the low two lanes
        const unsigned first = lanes & 0xFF;
        // Entry first * 256 + second for a pair, first for a single byte, without a branch:
        // which codes are pairs is as good as random.
        const unsigned pair = 0u - (leads >> k & 1);
        const code_text& t = texts.entries[((first << 8 | (lanes >> 8 & 0xFF)) & pair) | (first & ~pair)];
        std::memcpy(into, &t, sizeof t);
        into += t.length;
    }
    return codes.taken;
}

// Renders the string at position `p` of the section's data. The indent of a line break
// is printed when the next code is read, before its output, and not when the string
// ends there.
bool render_string(loaded_section& section, const code_texts& texts, std::int32_t b, std::int32_t s,
                   std::uint64_t p, bool verbose, bool fast, text_output& out, status& result)
{
    // In verbose mode the prefix shows the offset within the section; the section's
    // file offset is not added.
    write_line_prefix(out, {section.number, b, s}, verbose, p);
    // The section's bytes from the string's start on are there up to `reach`, which a
    // read of the next chunk moves on while the section goes on.
    paged_bytes& bytes = section.bytes;
    const std::uint64_t size = bytes.data.size();
    std::uint64_t reach = size;
    if (!paged_ready(bytes, p, reach) && (result = paged_reach(bytes, p, reach), failed(result)))
        return false;
    std::span<const std::uint8_t> data = bytes.data.first(static_cast<std::size_t>(reach));
    const auto reach_further = [&](status& r) {
        if (reach >= size)
            return false;
        r = paged_reach(bytes, reach, reach);
        data = bytes.data.first(static_cast<std::size_t>(reach));
        return true;
    };
    game_reader reader{p};
    game_code code{};
    bool indent_pending = false;
    // Codes are copied into the writer's room through local pointers, `at` the next free
    // byte: the copies could alias the writer's fields. The bytes are counted before any
    // other output and at the end.
    char* begin = nullptr;
    char* at = nullptr;
    char* limit = nullptr;
    const auto take_room = [&](std::size_t n) {
        const std::span<char> room = out_reserve(out, n);
        begin = at = room.data();
        limit = begin + room.size();
    };
    const auto count = [&] { out_commit(out, static_cast<std::size_t>(at - begin)); };
    take_room(0);
    bool whole = true; // until `result` holds a failure
    for (;;) {
        if (data.size() - reader.position < 8 && reach_further(result) && failed(result)) {
            whole = false;
            break;
        }
        // Eight bytes a step where they hold no byte that ends the string or breaks the
        // line; every other code by the reference reader.
        if (fast && !indent_pending && !reader.backslash && data.size() - reader.position >= 8) {
            if (static_cast<std::size_t>(limit - at) < 8 * sizeof(code_text)) {
                count();
                take_room(8 * sizeof(code_text));
            }
            if (const std::size_t taken = copy_word_codes(data.data() + reader.position, texts, at)) {
                reader.position += taken; // none of them was a backslash
                continue;
            }
        }
        const game_reader before = reader;
        const game_step step = next_game_code(data, reader, code);
        if (step == game_step::end)
            break;
        if ((step == game_step::data_end || step == game_step::lead_at_end) && reach_further(result)) {
            if (failed(result)) {
                whole = false;
                break;
            }
            reader = before;
            continue;
        }
        if (step == game_step::data_end) {
            result = fail(failure::out_of_buffer);
            whole = false;
            break;
        }
        if (indent_pending) {
            indent_pending = false;
            count();
            out_byte(out, '\n');
            out_blanks(out, verbose ? indent_verbose : indent_normal);
            take_room(0);
        }
        if (step == game_step::lead_at_end) {
            result = fail(failure::out_of_buffer);
            whole = false;
            break;
        }
        const code_text& t = texts.entries[code.lead * 256u + code.byte];
        if (static_cast<std::size_t>(limit - at) < sizeof t) {
            count();
            take_room(sizeof t);
        }
        std::memcpy(at, &t, sizeof t);
        at += t.length;
        indent_pending = code.line_break;
    }
    count();
    if (whole)
        out_byte(out, '\n');
    return whole;
}

} // namespace

status print_section_strings(loaded_section& section, bool verbose, text_output& out, game_rendering rendering)
{
    const string_directory& dir = section.directory;
    const code_texts& texts = texts_of_codes();
    status result; // made once: a string that comes out whole sets nothing
    for (std::uint32_t b = 0; b < dir.num_blocks; ++b) {
        const string_block& block = dir.blocks[b];
        for (std::uint32_t s = 0; s < block.count; ++s) {
            const std::uint64_t p = string_start(section.bytes.data, block, s);
            if (!render_string(section, texts, static_cast<std::int32_t>(b), static_cast<std::int32_t>(s), p, verbose,
                               rendering == game_rendering::fast, out, result))
                return result;
        }
    }
    return {};
}
