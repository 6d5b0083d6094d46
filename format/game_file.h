#pragma once
// A game file as kx_text sees it: an archive (the strings of sections 8 and 43) or a
// pack, parsed and decoded with the dumpers' own parsers and decoders, so that it
// takes exactly the files the dumpers read without error.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/directory.h"
#include "format/pack/pack.h"

enum class file_kind { archive, pack };

// One table of strings: an archive section, or the whole pack.
struct string_table {
    std::int32_t section = -1;          // 8 or 43; -1 in a pack
    directory_layout layout = directory_layout::packed;
    std::uint64_t file_offset = 0;      // where the table's buffer starts in the file
    std::span<const std::uint8_t> data; // the buffer, inside game_file::bytes
    std::uint64_t directory_start = 0;  // after the node table in a pack
    string_directory directory;
};

struct game_file {
    file_kind kind = file_kind::archive;
    std::string path;
    std::vector<std::uint8_t> bytes;   // the whole file
    std::vector<string_table> tables;  // in dump order
    pack_image image;                  // a pack's node table and directory
    std::vector<node_record> records;  // a pack's node table as stored
};

// Reads the file at `path` whole and parses it as `kind`, or, when `kind` is null, as
// whichever of the two kinds it is (a file that is both needs the kind stated).
// Decodes every string as the dumpers would. Returns false with `error` (one line,
// without "ERROR: ") when the file is not one the dumpers read.
bool load_game_file(const std::string& path, const file_kind* kind, game_file& file, std::string& error);

// The same for bytes in memory (kx_text's checks of what it is about to write, and
// the fuzzer), named `path` in messages.
bool parse_game_file(std::vector<std::uint8_t> bytes, const std::string& path, file_kind kind, game_file& file,
                     std::string& error);

// The stored string at buffer position `start` of `table`: its text bytes, without the
// end mark, and the position after the last byte its decoding reads.
status read_game_string(const game_file& file, const string_table& table, std::uint64_t start,
                        std::vector<std::uint8_t>& bytes, std::uint64_t& end);

// The text of string bytes in the file's encoding, in the text notation.
void game_text(const game_file& file, std::span<const std::uint8_t> bytes, std::string& text);

// Where the dumpers print a string: "8:12:0" (section, block, string) or "12:0".
std::string string_context(const string_table& table, std::uint32_t block, std::uint32_t index);

// The bytes of the tables' buffers that belong to no table and to no string.
std::uint64_t unreached_bytes(const game_file& file);

// A status's message as the dumpers print it, without "ERROR: " and line ends.
std::string failure_text(const status& s, const std::string& path);
