#pragma once
// kx_strings: a packed string table read whole into memory. The file starts with a
// table of 4-byte Huffman node records (u16 count, then symbol, parent, left, right
// per record; the last record is the root), followed by a layout C block directory.
// With records the strings are Huffman code; without, they are stored one byte per
// text byte, chained by exclusive or, and hold Shift-JIS text.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/directory.h"
#include "common/output.h"

// A link that names no record. Record indices stop at 65534, so it is never a record.
inline constexpr std::uint16_t no_node = 0xFFFF;

// The byte that ends every string, in both forms.
inline constexpr std::uint8_t end_mark = 0x7C;

// One node record of the code tree; the links are indices into pack_image::nodes.
struct huff_node {
    std::uint8_t symbol = 0;        // the text byte of a leaf
    std::uint16_t parent = no_node; // not used when decoding
    std::uint16_t left = no_node;   // taken on a 0 bit
    std::uint16_t right = no_node;  // taken on a 1 bit
};

// The loaded and parsed file. `data` views the bytes that everything else points
// into: `buffer` when the file was loaded by load_whole_file, or any caller-owned
// bytes (a fuzzer's input) that outlive the image.
struct pack_image {
    std::span<const std::uint8_t> data;
    std::unique_ptr<std::uint8_t[]> buffer;
    std::uint64_t size = 0;
    std::uint16_t num_nodes = 0;
    std::uint16_t root = no_node;   // the last record; no_node without a code tree
    std::vector<huff_node> nodes;
    string_directory directory;     // num_blocks and blocks
};

// Reads the whole of file `name` with one read. Returns 0 with `buffer` owning the
// bytes and `size` set; returns -1 after printing one message to `out` (open, seek,
// read or memory failure, or a size of 0 or of 4 GiB and more), with `buffer` empty
// and `size` 0. The file is closed on every path.
int load_whole_file(const std::string& name, text_output& out,
                    std::unique_ptr<std::uint8_t[]>& buffer, std::uint64_t& size);

// Parses the node table and the directory behind it from `data`, tracing both when
// verbose. On success returns 0 with `image` viewing `data` (which the caller keeps
// alive) and its nodes and directory filled. Returns -1 after printing one message:
// a table or directory that does not fit in `data`, a root leaf that is not the end
// mark, a bad string offset, or a failed allocation. Owns nothing beyond `image`.
int parse_pack_tables(std::span<const std::uint8_t> data, text_output& out, pack_image& image);

// Decodes and prints every string of a parsed image, in directory order. Returns 0
// after the last string, or -1 after the one message of the first failing string
// (buffer overrun, missing child, bad Shift-JIS pair). Allocates nothing and reads
// nothing outside `image.data`.
int print_pack_strings(const pack_image& image, text_output& out);

// The tool's pipeline: load `name`, parse it, print it. Returns 0, or -1 after the
// failing stage's message. `image` owns the file's bytes until it is destroyed.
int dump_pack(const std::string& name, text_output& out, pack_image& image);
