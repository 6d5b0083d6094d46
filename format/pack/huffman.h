#pragma once
// The Huffman code of a pack: decoding a code word a bit at a time (the reference) or
// through a table of code words, building a tree from byte counts, and encoding.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "format/pack/pack.h"

// Where a Huffman string is being read: the next byte to load, the byte being read and
// the next bit of it (8: none left, the next bit needs the next byte).
struct huff_reader {
    std::uint64_t position;
    unsigned current = 0;
    unsigned bit = 8;
};

// One decoded symbol and the bits of its code word: bit k of the file is bit k % 8,
// from the top, of byte k / 8.
struct huff_symbol {
    std::uint8_t symbol;
    std::uint64_t first_bit;
    std::uint64_t bits;
};

// Decodes the next code word from the root, one bit a step. The next byte is loaded as
// soon as the bits of the current one are used up, before the node reached is tested
// for a leaf, so a code word that ends on the last bit of a byte still needs the byte
// after it. Fails with decode_overrun when that byte lies past the end of the data, or
// with left_null or right_null (the byte and bit that led to the missing child). With
// `end`, the data is taken to end there (at most image.data.size()).
status huff_next(const pack_image& image, huff_reader& reader, huff_symbol& symbol, std::uint64_t end);
inline status huff_next(const pack_image& image, huff_reader& reader, huff_symbol& symbol)
{
    return huff_next(image, reader, symbol, image.data.size());
}

// The code words of the tree, a table entry per step: entry v holds what the 12 bits of
// v (the first bit on top) spell from the root, up to four whole code words. For large
// files only (from huff_table_threshold bytes up); the bit walk stays the reference.
inline constexpr unsigned huff_table_bits = 12;
inline constexpr std::uint64_t huff_table_threshold = 16 * 1024;

enum huff_entry_flags : std::uint8_t {
    huff_ends_string = 1,    // the first code word is the end mark's (count is 0)
    huff_line_feed_last = 2, // the last symbol is a line feed
    huff_ends_after = 4,     // the end mark's word follows the `count` words (count > 0)
};

// The words stop before the end mark's, after a line feed, and before a word that fails
// or does not end within the 12 bits. count 0 with no flag: the bit walk takes the word.
struct alignas(8) huff_entry {
    std::uint8_t symbols[4];
    std::uint8_t count;
    std::uint8_t bits; // the bits of the `count` words
    std::uint8_t flags;
};

struct huff_table {
    std::unique_ptr<huff_entry[]> entries; // 1 << huff_table_bits entries, or none
};

// Builds the table of the image's code tree. Returns false, with no entries, for a tree
// whose root is a leaf and when the memory cannot be had: the bit walk then serves.
bool build_huff_table(const pack_image& image, huff_table& table);

// Adds the bytes of one string and its end mark to `counts`, for build_code_tree.
void count_symbols(std::span<std::uint64_t, 256> counts, std::span<const std::uint8_t> text);

// A code tree over byte counts (counts[b] > 0 for every byte b that needs a leaf; the
// end mark gets one even when no string was counted):
// the leaves in ascending byte order, then the inner records as they are merged (the
// two lightest first, ties to the lower record; the first taken becomes the left
// child), the root last. Fails with too_many_symbols above 128 leaves, whose links
// would not fit a byte. A single leaf stands alone as the root.
status build_code_tree(std::span<const std::uint64_t, 256> counts, std::vector<node_record>& records);

// The code words of a tree, for encoding: each symbol's shortest path from the root
// ('0' left, '1' right; of equal lengths the one that sorts first). Cycles and links
// outside the table are followed no further. A symbol without a leaf has no word.
struct code_table {
    std::string words[256];
    bool has[256] = {};
};
void code_words(std::span<const node_record> records, code_table& table);

// Whether a tree decodes every code word it has without a fault: no node reached twice
// from the root, and every inner node reached has both children.
bool is_sound_tree(std::span<const node_record> records);

// Appends the Huffman code of `text` and the end mark to `out`. The decoder loads the
// byte after a code word that ends on a byte boundary, so such a string gets one zero
// byte more. Fails with no_code_word (value: the byte) or end_mark_in_text.
status huffman_encode(const code_table& table, std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out);
