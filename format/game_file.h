#pragma once
// A game file as kx_text sees it, whichever kind it is. This is the one place that
// picks the kind of a file and hands each operation to that kind's format: an archive
// (format/archive/, the strings of sections 8 and 43) or a pack (format/pack/). Both
// are parsed and decoded with the dumpers' own parsers and decoders, so that kx_text
// takes exactly the files the dumpers read without error.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "format/archive/archive.h"
#include "format/char_table.h"
#include "format/notation.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "format/string_table.h"

enum class file_kind { archive, pack };

struct game_file {
    std::string path;
    std::vector<std::uint8_t> bytes;               // the whole file; the records view it
    std::variant<archive_file, pack_file> parsed;
};

// Why a file was not taken: its failure as each kind that was tried (code none for a
// kind not tried).
struct kind_failures {
    status as_archive, as_pack;
};

// Reads the file at `path` whole and parses it as `kind`, or, without one, as
// whichever of the two kinds it is. Fails with the reading's failure, both_kinds for a
// file that reads both ways, or not_a_game_file with `why` filled.
status load_game_file(const std::string& path, std::optional<file_kind> kind, game_file& file, kind_failures& why);

// The same for bytes in memory (kx_text's check of what it is about to write), named
// `path`; fails with the kind's own failure.
status parse_game_file(std::vector<std::uint8_t> bytes, const std::string& path, file_kind kind, game_file& file);

// The message of a failure of load_game_file, without "ERROR: ".
std::string load_failure_text(const status& s, const kind_failures& why, std::string_view path,
                              std::optional<file_kind> kind);

file_kind kind_of(const game_file& file);
std::string_view kind_name(file_kind kind); // "archive" or "pack"
const std::vector<string_table>& tables_of(const game_file& file);

// The text bytes of a parsed string of table `table` that starts at `start`.
void string_bytes(const game_file& file, const string_table& table, std::uint64_t start,
                  std::vector<std::uint8_t>& bytes);

// What decoding every string of a file reuses: a large Huffman pack's table of code
// words and the bytes of the string decoded last.
struct string_decoder {
    huff_table huffman;
    std::vector<std::uint8_t> bytes;
};
void start_decoding(const game_file& file, string_decoder& decoder);

// string_bytes through the decoder's fast paths.
void decoded_bytes(const game_file& file, const string_table& table, std::uint64_t start, const string_decoder& decoder,
                   std::vector<std::uint8_t>& bytes);

// The text of the string of `table` that starts at `start` (string_text of its
// string_bytes), its bytes decoded once, through the fast paths, and left in
// decoder.bytes.
void decode_string_text(const game_file& file, const char_table& codes, const string_table& table,
                        std::uint64_t start, string_decoder& decoder, std::string& text);

// Reads a character table (format/char_table.h) for the file's form from the bytes of
// the table file, which the caller names in `table.name`. Fails with the first line
// that breaks the grammar or gives a code that the form cannot hold as one character
// (the status's line; failure_text(s, table.name) says which and why).
status read_char_table(const game_file& file, std::string_view bytes, char_table& table);

// The whole encoding of the file's form as a character table, which read_char_table
// accepts.
void write_char_table(const game_file& file, text_output& out);

// The text of string bytes in the file's encoding, with the table's codes (an empty
// table: none), in the text notation.
void string_text(const game_file& file, const char_table& table, std::span<const std::uint8_t> bytes,
                 std::string& text);

// The bytes that a text stands for in this file with the table, with every problem that
// keeps it from being the one text of its stored bytes (coded.problems, empty when it is).
void stored_bytes(const game_file& file, const char_table& table, std::string_view text, coded_text& coded);

// What a rebuild needs of the file beyond what the dumpers read (an archive's index).
status check_for_rebuild(const game_file& file);

// The bytes of the file with `texts` (see new_text; sorted by table, block and index,
// each place once), every limit checked.
status rebuild_game_file(const game_file& file, std::span<new_text> texts, rebuilt_file& result);

// Checks, string by string, that `rebuilt` (parsed from the bytes written) holds the
// strings of `file` with `texts` in their places, the same directories and ids, and
// (archives) every other section unchanged. Fails at the first difference.
status check_rebuilt(const game_file& file, std::span<const new_text> texts, const game_file& rebuilt);
