// The dump of a packed file: every string on a line of its own, its text bytes written
// unchanged, each line feed in the text followed by a continuation indent; in verbose
// mode the code words of a Huffman string on the lines after it.
#include <cstring>

#include "format/dump_line.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "format/pack/xor_chain.h"

namespace {

// Continuation indents: the widths of the two line prefixes for positions below 1000.
constexpr std::size_t normal_indent = 13;
constexpr std::size_t verbose_indent = 23;

// A text byte, after the continuation indent that a preceding line feed left pending.
inline void write_text_byte(text_output& out, std::uint8_t byte, std::size_t indent, bool& indent_pending)
{
    if (indent_pending) {
        indent_pending = false;
        out_blanks(out, indent);
    }
    out_byte(out, static_cast<char>(byte));
    if (byte == line_feed)
        indent_pending = true;
}

// How far the image's bytes are there from a string's start on: data[start, limit). A
// decoder stops at the limit as at the end of the file; where the file goes on, the next
// chunk is read and the decoder takes the step again.
struct string_reach {
    paged_bytes& bytes;
    std::uint64_t size; // the file's
    std::uint64_t limit;
};

// The decoders below return whether the string came out whole, and otherwise set `s`:
// a status is made only for a failure.
bool reach_start(string_reach& reach, std::uint64_t start, status& s)
{
    // Without a source the bytes are the caller's, image.data, all of them there.
    if (reach.bytes.source == nullptr) {
        reach.limit = reach.size;
        return true;
    }
    if (paged_ready(reach.bytes, start, reach.limit))
        return true;
    s = paged_reach(reach.bytes, start, reach.limit);
    return !failed(s);
}

// Whether a stop at the limit was the end of the reach, not of the file: then the next
// chunk is read (`s` tells how that went).
bool reach_further(string_reach& reach, status& s)
{
    if (reach.limit >= reach.size)
        return false;
    s = paged_reach(reach.bytes, reach.limit, reach.limit);
    return true;
}

bool print_huffman_text(const pack_image& image, string_reach& reach, std::uint64_t start, std::size_t indent,
                        text_output& out, bool& indent_pending, status& s)
{
    huff_reader reader{start};
    huff_symbol symbol{};
    for (;;) {
        const huff_reader before = reader;
        s = huff_next(image, reader, symbol, reach.limit);
        if (s.code == failure::decode_overrun && reach_further(reach, s)) {
            if (failed(s))
                return false;
            reader = before;
            continue;
        }
        if (failed(s))
            return false;
        if (symbol.symbol == end_mark)
            return true;
        write_text_byte(out, symbol.symbol, indent, indent_pending);
    }
}

// The 64 bits from `p` on, the first on top.
inline std::uint64_t load_bits(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(p[0]) << 56 | static_cast<std::uint64_t>(p[1]) << 48 |
           static_cast<std::uint64_t>(p[2]) << 40 | static_cast<std::uint64_t>(p[3]) << 32 |
           static_cast<std::uint64_t>(p[4]) << 24 | static_cast<std::uint64_t>(p[5]) << 16 |
           static_cast<std::uint64_t>(p[6]) << 8 | static_cast<std::uint64_t>(p[7]);
}

// The same text as print_huffman_text, a table entry at a time. Where fewer than eight
// bytes remain, and for a code word that fails or is longer than the table's bits, the
// bit walk takes one code word, from the state it would be in between two words (the
// byte of the next bit loaded): so every failure, and every load past the end, is met
// exactly as the bit walk meets it.
bool print_huffman_text_by_table(const pack_image& image, string_reach& reach, const huff_table& table,
                                 std::uint64_t start, std::size_t indent, text_output& out, bool& indent_pending,
                                 status& s)
{
    const std::uint8_t* const data = image.data.data();
    const huff_entry* const entries = table.entries.get();
    std::uint64_t bit = 8 * start;
    for (;;) {
        if (bit / 8 + 8 > reach.limit) {
            if (reach_further(reach, s) && failed(s))
                return false;
        }
        // With eight bytes ahead, one load holds at least 56 bits: four entries of up to 12
        // bits each, and the byte after the last word, which the bit walk would load too.
        if (bit / 8 + 8 <= reach.limit) {
            const std::uint64_t window = load_bits(data + bit / 8) << (bit % 8);
            const huff_entry* e = &entries[window >> (64 - huff_table_bits)];
            if (e->count != 0) {
                if (indent_pending) {
                    indent_pending = false;
                    out_blanks(out, indent);
                }
                // All the symbols of an entry are copied, `count` of them kept. An entry
                // that ends in a line feed ends the step: the indent comes first; one that
                // the end mark's word follows ends the string.
                char* const begin = out_reserve(out, 4 * sizeof e->symbols).data();
                char* at = begin;
                unsigned used = 0;
                for (int k = 0;;) {
                    std::memcpy(at, e->symbols, sizeof e->symbols);
                    at += e->count;
                    used += e->bits;
                    if (e->flags != 0) {
                        if ((e->flags & huff_ends_after) != 0) {
                            out_commit(out, static_cast<std::size_t>(at - begin));
                            return true;
                        }
                        indent_pending = true; // a line feed ends the entry
                        break;
                    }
                    if (++k == 4)
                        break;
                    e = &entries[(window << used) >> (64 - huff_table_bits)];
                    if (e->count == 0)
                        break;
                }
                out_commit(out, static_cast<std::size_t>(at - begin));
                bit += used;
                continue;
            }
            if ((e->flags & huff_ends_string) != 0)
                return true;
        }
        huff_reader reader{bit / 8 + 1, data[bit / 8], static_cast<unsigned>(bit % 8)};
        huff_symbol symbol{};
        s = huff_next(image, reader, symbol, reach.limit);
        if (s.code == failure::decode_overrun && reach_further(reach, s)) {
            if (failed(s))
                return false;
            continue;
        }
        if (failed(s))
            return false;
        if (symbol.symbol == end_mark)
            return true;
        write_text_byte(out, symbol.symbol, indent, indent_pending);
        bit = 8 * (reader.position - 1) + reader.bit;
    }
}

// With `words`, eight text bytes at a time where none of them can end the string, break
// the line or fail; the others one at a time.
bool print_xor_text(const pack_image& image, string_reach& reach, std::uint64_t start, std::size_t indent,
                    bool words, text_output& out, bool& indent_pending, status& s)
{
    xor_reader reader{start};
    std::uint8_t byte = 0;
    for (;;) {
        const std::span<const std::uint8_t> data = image.data.first(static_cast<std::size_t>(reach.limit));
        if (words && !indent_pending) {
            const std::span<char> room = out_reserve(out, 8);
            out_commit(out, xor_next_words(data, reader, room.data(), room.size()));
        }
        const xor_step step = xor_next(data, reader, byte);
        if (step == xor_step::end)
            return true;
        if (step == xor_step::data_end) {
            if (reach_further(reach, s)) {
                if (failed(s))
                    return false;
                continue;
            }
            s = fail(failure::decode_overrun);
            return false;
        }
        // The offending byte is written before the message, which follows it directly.
        write_text_byte(out, byte, indent, indent_pending);
        if (step == xor_step::bad_trail) {
            s = fail(failure::illegal_sjis);
            return false;
        }
    }
}

// The verbose listing: the code words of the string's symbols, separated by ",", a
// line per text line, each line indented by 23 blanks, the end mark's word last. It
// decodes the same bits that print_huffman_text has already decoded without failure,
// all of them before `limit`.
void print_code_listing(const pack_image& image, std::uint64_t start, std::uint64_t limit, text_output& out)
{
    const std::uint8_t* const data = image.data.data();
    huff_reader reader{start};
    huff_symbol symbol{};
    bool indent_pending = true;
    while (!failed(huff_next(image, reader, symbol, limit))) {
        for (std::uint64_t k = symbol.first_bit; k < symbol.first_bit + symbol.bits; ++k) {
            if (indent_pending) {
                indent_pending = false;
                out_blanks(out, verbose_indent);
            }
            out_byte(out, static_cast<char>('0' + ((data[k / 8] >> (7 - k % 8)) & 1)));
        }
        if (symbol.symbol == end_mark)
            return;
        out_byte(out, ',');
        if (symbol.symbol == line_feed) {
            indent_pending = true;
            out_byte(out, '\n');
        }
    }
}

} // namespace

status print_pack_strings(pack_image& image, bool verbose, text_output& out, pack_decoding decoding)
{
    const bool huffman = pack_form_of(image) == pack_form::huffman;
    // The table pays for itself only on a large file; without it the bit walk serves.
    huff_table table;
    if (huffman && (decoding == pack_decoding::fast ||
                    (decoding == pack_decoding::automatic && image.data.size() >= huff_table_threshold)))
        build_huff_table(image, table);
    const bool words = decoding != pack_decoding::reference;
    const std::size_t indent = verbose ? verbose_indent : normal_indent;
    const string_directory& directory = image.directory;
    string_reach reach{image.bytes, image.data.size(), 0};
    status s;
    for (std::uint32_t i = 0; i < directory.num_blocks; ++i) {
        const string_block& block = directory.blocks[i];
        for (std::uint32_t j = 0; j < block.count; ++j) {
            const std::uint64_t start = string_start(image.data, block, j);
            write_line_prefix(out, {i, j}, verbose, start);
            bool indent_pending = false;
            const bool whole =
                reach_start(reach, start, s) &&
                (!huffman        ? print_xor_text(image, reach, start, indent, words, out, indent_pending, s)
                 : table.entries ? print_huffman_text_by_table(image, reach, table, start, indent, out, indent_pending, s)
                                 : print_huffman_text(image, reach, start, indent, out, indent_pending, s));
            if (!whole)
                return s;
            if (verbose && huffman) {
                // A final line feed of the text has already ended the line.
                if (!indent_pending)
                    out_byte(out, '\n');
                print_code_listing(image, start, reach.limit, out);
            }
            out_byte(out, '\n');
        }
    }
    return {};
}
