#pragma once
// Builds packed string table files from readable descriptions, for tests, fuzz seeds
// and the example files. A file is: u16 record count, 4-byte node records (symbol,
// parent, left, right; the last is the root), then at offset 2 + 4*count a u16 block
// count and per block a u16 id and u32 offset; each block is a u16 string count, the
// u16 string offsets (counted from the first byte after the list), then its strings.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

using pack_bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t pack_no_link = 0xFF;

// One node record exactly as stored.
struct pack_record {
    std::uint8_t symbol = 0;
    std::uint8_t parent = pack_no_link;
    std::uint8_t left = pack_no_link;
    std::uint8_t right = pack_no_link;
};

// One block: its id and its strings, already encoded.
struct pack_block {
    std::uint16_t id = 0;
    std::vector<pack_bytes> strings;
};

// Lays out a whole file: records, directory, then each block's header and strings
// in order. Throws std::invalid_argument when a block's strings do not fit the 16-bit
// offsets or there are more than 65535 records or blocks.
pack_bytes build_pack(const std::vector<pack_record>& records, const std::vector<pack_block>& blocks);

// A Huffman code tree over `weights` (symbol -> weight, every weight above 0): the
// leaves in ascending symbol order, then the inner records as they are merged (the
// two lightest first, ties to the lower record), the root last. Throws
// std::invalid_argument for no symbols or more than 128 (children must fit a byte).
std::vector<pack_record> huffman_records(const std::map<std::uint8_t, std::uint64_t>& weights);

// The tree for `texts`: their byte counts plus one end mark per text.
std::vector<pack_record> huffman_records_for(const std::vector<std::string>& texts);

// The code word of every leaf, as '0'/'1' characters from the root down.
std::map<std::uint8_t, std::string> code_words(const std::vector<pack_record>& records);

// `text` followed by the end mark in Huffman code. The decoder loads the byte after a
// code word that ends on a byte boundary, so such a string gets one zero byte more.
// Throws std::invalid_argument for a byte without a code word.
pack_bytes huffman_encode(const std::vector<pack_record>& records, std::string_view text);

// `text` followed by the end mark, chained by exclusive or: stored byte k is text
// byte k XOR text byte k-1.
pack_bytes xor_encode(std::string_view text);

// Example source texts: '#' comments and blank lines are skipped, "[block N]" starts
// a block with id N, and every line "- text" is one string of it ("-" alone: empty).
// In a text, "\n" is a line feed, "\\" a backslash and "{82 A0}" raw bytes in hex.
// The XOR-chained source converts kana, and the punctuation and kanji of a small
// table, from UTF-8 to Shift-JIS. Throws std::invalid_argument on a malformed line.
struct pack_source_block {
    std::uint16_t id = 0;
    std::vector<std::string> texts;
};
std::vector<pack_source_block> read_pack_source(std::string_view source, bool shift_jis);

// The example file of `source`: Huffman code tree and code, or XOR-chained.
pack_bytes build_example_pack(const std::vector<pack_source_block>& blocks, bool huffman);

// Reads strings_pak.txt and xor_pak.txt from `source_dir` and writes STRINGS.PAK and
// XOR.PAK into `out_dir`. Throws std::runtime_error when a file cannot be read or written.
void write_pack_examples(const std::string& source_dir, const std::string& out_dir);
