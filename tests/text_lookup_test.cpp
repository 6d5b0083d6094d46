// kx_text's fast paths against the one-step readers they stand in for: the table of
// each code's text and of each character's code, over every code and character, and
// the Huffman table and the eight-byte steps of string bytes, from every start of
// damaged files.
#include <gtest/gtest.h>

#include <random>

#include "format/archive/game_text.h"
#include "format/directory.h"
#include "format/pack/cp932.h"
#include "format/pack/pack_text.h"
#include "format/pack/xor_chain.h"

namespace {

using bytes = std::vector<std::uint8_t>;

TEST(TextLookup, EveryCodeAndCharacterAsTheReference)
{
    // Archive: each code alone and after a backslash (a line break for n), a lead byte
    // alone taking the end byte; the end of every string found as game_text_of finds it.
    std::string fast, slow;
    for (unsigned lead = 0; lead <= 4; ++lead)
        for (unsigned byte = 0; byte < 256; ++byte)
            for (const bytes& code : {bytes{std::uint8_t(lead), std::uint8_t(byte)}, bytes{'\\', std::uint8_t(byte)},
                                      bytes{std::uint8_t(byte), std::uint8_t(lead)}}) {
                bytes stored(code.begin() + (code[0] == 0 ? 1 : 0), code.end());
                game_text_of_bytes(stored, fast);
                stored.push_back(game_end_byte);
                std::uint64_t end = 0, found = 0;
                const status s = game_text_of(stored, 0, slow, &end);
                EXPECT_EQ(fast, slow) << lead << " " << byte;
                EXPECT_EQ(game_string_end(stored, 0, found).code, s.code);
                EXPECT_EQ(found, end);
            }
    // Pack: every single byte and pair, and a pair cut short.
    for (unsigned lead = 0; lead < 256; ++lead)
        for (unsigned trail = 0; trail < 256; ++trail) {
            const bytes code{std::uint8_t(lead), std::uint8_t(trail)};
            pack_text_of(code, fast);
            pack_text_of_reference(code, slow);
            EXPECT_EQ(fast, slow) << lead << " " << trail;
        }
    // The archive has no code for a control character, DEL included.
    for (const char32_t c : {U'\0', U'\x1F', U'\x7F'})
        EXPECT_EQ(game_code_of(c).length, 0u) << static_cast<std::uint32_t>(c);
    for (char32_t c = 0; c < 0x110000; ++c) {
        const game_char_code g = game_canonical_code(c), want = game_code_of(c);
        EXPECT_TRUE(g.length == want.length && (g.length == 0 || (g.bytes[0] == want.bytes[0] && g.bytes[1] == want.bytes[1])))
            << std::hex << static_cast<std::uint32_t>(c);
        const cp932_code p = pack_canonical_code(c), encoded = cp932_encode(c);
        EXPECT_TRUE(p.length == encoded.length && (p.length == 0 || (p.bytes[0] == encoded.bytes[0] && p.bytes[1] == encoded.bytes[1])))
            << std::hex << static_cast<std::uint32_t>(c);
    }
}

// A pack of one block of one string whose run holds many strings, with flipped bits.
bytes damaged_pack(bool huffman, std::mt19937& random)
{
    const auto below = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    bytes file, run, text;
    std::vector<node_record> records;
    code_table words;
    if (huffman) {
        std::uint64_t counts[256] = {};
        for (std::uint64_t& count : counts) // code words of 1 to about 25 bits
            count = below(3) == 0 ? std::uint64_t{1} << below(20) : 0;
        counts[end_mark] = counts[std::size_t{'a'}] = 1u << 18;
        EXPECT_FALSE(failed(build_code_tree(counts, records)));
        code_words(records, words);
    }
    for (int n = 0; n < 200; ++n) {
        text.clear();
        for (unsigned k = below(60); k > 0; --k) {
            std::uint8_t b = static_cast<std::uint8_t>(below(4) == 0 ? 0x81 + below(3) : below(256));
            while (huffman && (!words.has[b] || b == end_mark))
                b = 'a';
            text.push_back(b);
        }
        if (huffman)
            EXPECT_FALSE(failed(huffman_encode(words, text, run)));
        else
            xor_encode(text, run);
    }
    for (int n = 0; n < 8; ++n)
        run[below(static_cast<unsigned>(run.size()))] ^= static_cast<std::uint8_t>(1u << below(8));
    const directory_plan plan{{{1, 0}}, {{{{0, 0}}}}, {run}, {}};
    write_node_table(records, file);
    EXPECT_FALSE(failed(write_directory(directory_layout::packed, plan, file)));
    return file;
}

TEST(TextLookup, StringBytesFromEveryStartAsTheBitWalk)
{
    std::mt19937 random(11);
    for (int round = 0; round < 16; ++round) {
        const bytes file = damaged_pack(round % 2 == 0, random);
        pack_image image;
        ASSERT_FALSE(failed(parse_pack_tables(file, nullptr, image)));
        huff_table table;
        EXPECT_EQ(build_huff_table(image, table), round % 2 == 0);
        bytes fast, slow;
        int failures = 0;
        for (std::uint64_t start = 0; start <= image.data.size() + 16; ++start) { // and a little past the end
            std::uint64_t fast_end = 0, slow_end = 0;
            const status f = pack_string_bytes(image, table, start, fast, &fast_end);
            const status s = pack_string_bytes(image, start, slow, &slow_end);
            ASSERT_TRUE(f.code == s.code && f.offset == s.offset && f.bit == s.bit) << round << " " << start;
            if (!failed(s)) {
                ASSERT_TRUE(fast == slow && fast_end == slow_end) << round << " " << start;
            }
            failures += failed(s);
        }
        EXPECT_GT(failures, 0);
    }
}

} // namespace
