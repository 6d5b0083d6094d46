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

#include "format/directory.h"
#include "format/string_table.h"
#include "io/file_io.h"
#include "io/output.h"
#include "io/status.h"

// A link that names no record. Record indices stop at 65534, so it is never a record.
inline constexpr std::uint16_t no_node = 0xFFFF;

// The byte that ends every string, in both forms.
inline constexpr std::uint8_t end_mark = 0x7C;

// The text byte after which a string continues on an indented line.
inline constexpr std::uint8_t line_feed = 0x0A;

// A stored link byte that names no record.
inline constexpr std::uint8_t no_link_byte = 0xFF;

// One node record exactly as stored.
struct node_record {
    std::uint8_t symbol = 0;
    std::uint8_t parent = no_link_byte;
    std::uint8_t left = no_link_byte;
    std::uint8_t right = no_link_byte;
};

// One node record of the code tree as the decoder follows it (the stored parent link
// is not needed); the links are indices into pack_image::nodes.
struct huff_node {
    std::uint8_t symbol = 0;       // the text byte of a leaf
    std::uint16_t left = no_node;  // taken on a 0 bit
    std::uint16_t right = no_node; // taken on a 1 bit
};

// A stored child link as a record index. 0xFF is "none", and so is any byte that names
// no record of the table: no link may lead outside it.
inline std::uint16_t child_link(std::uint8_t byte, std::size_t num_nodes)
{
    return byte != no_link_byte && byte < num_nodes ? byte : no_node;
}

inline bool is_leaf(const huff_node& node) { return node.left == no_node && node.right == no_node; }

// The parsed file. `data` views the bytes that everything else points into: `bytes`
// when dump_pack read the file, or any caller-owned bytes (a fuzzer's input) that
// outlive the image. From a large file `bytes` holds only what the tables and the
// strings reach, read as the printing needs it.
struct pack_image {
    paged_bytes bytes;
    std::span<const std::uint8_t> data;
    std::uint16_t num_nodes = 0;
    std::uint16_t root = no_node;     // the last record; no_node without a code tree
    std::vector<node_record> records; // the node table as stored
    std::vector<huff_node> nodes;     // and as the decoder follows it
    string_directory directory;       // num_blocks and blocks
};

// The two forms of a pack: with a code tree, Huffman code; without, the exclusive-or
// chain. This is the one place that tells them apart.
enum class pack_form { huffman, xor_chain };
inline pack_form pack_form_of(const pack_image& image)
{
    return image.num_nodes > 0 ? pack_form::huffman : pack_form::xor_chain;
}

// Parses the node table and the directory behind it from `data`, tracing both to
// `trace` unless it is null. On success `image` views `data` (which the caller keeps
// alive). Fails with overrun when a table does not fit, illegal_node_table for a root
// leaf that is not the end mark, illegal_offset or memory.
status parse_pack_tables(std::span<const std::uint8_t> data, text_output* trace, pack_image& image);

// Appends the node table of `records` (at most 65535) to `out`.
void write_node_table(std::span<const node_record> records, std::vector<std::uint8_t>& out);

// How strings are decoded. reference: the definition, one bit (Huffman) or one byte
// (exclusive or) a step. fast: through the table of code words, or eight bytes a step
// where the text allows it. automatic: fast, but for Huffman files below
// huff_table_threshold bytes. All give the same output on every input.
enum class pack_decoding { automatic, reference, fast };

// Decodes and prints every string of a parsed image, in directory order, with the code
// listing of each Huffman string when verbose. Stops at the first failing string with
// its failure (decode_overrun, left_null, right_null, illegal_sjis; cant_read when the
// file's bytes that `image.bytes` reads as they are needed are gone). Allocates nothing
// but the table and reads nothing outside `image.data`.
status print_pack_strings(pack_image& image, bool verbose, text_output& out,
                          pack_decoding decoding = pack_decoding::automatic);

// The tool's pipeline: open `name`, read the bytes that the tables name, parse them and
// print the strings, reading their bytes as they are decoded. Fails with cant_open,
// cant_seek, cant_read (also for a size of 0 or of 4 GiB and more, before anything is
// allocated), memory, or a parse or print failure. The file is closed on every path.
status dump_pack(const std::string& name, bool verbose, text_output& out, pack_image& image);


// A pack parsed for translation: its tables and its one string table (the whole file),
// every string decoded once.
struct pack_file {
    pack_image image;
    std::vector<string_table> tables;
};

// Parses `bytes` (owned by the caller) as kx_strings reads them. Fails as the dump
// would: cant_read for an empty file or one of 4 GiB or more, a table's failure, or the
// first string's (at_string) that fails to decode.
status parse_pack_file(std::span<const std::uint8_t> bytes, pack_file& file);

// Writes the pack anew with `texts` (sorted by block and index, each place once; their
// stored bytes are filled here). A Huffman pack keeps its code tree when the tree is
// sound and has a code word for every byte of the new texts, and the unchanged strings
// then keep their stored bytes; otherwise a new tree codes every string anew. Fails
// with too_many_symbols, the writer's failures, or too_large.
status rebuild_pack(const pack_file& file, std::span<new_text> texts, rebuilt_file& result);
