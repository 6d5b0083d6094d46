#pragma once
// What both kinds of file share once parsed for translation: tables of strings behind a
// block directory (an archive's sections 8 and 43, or the whole pack), each distinct
// string decoded once, and a table written anew with new texts.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/directory.h"
#include "io/status.h"

// A distinct string of a table: where it starts, and the position after the last byte
// that its decoding reads (the end mark included).
struct string_extent {
    std::uint64_t start, end;
};

// One table of strings: an archive section, or the whole pack.
struct string_table {
    std::int32_t section = -1;          // 8 or 43; -1 in a pack
    directory_layout layout = directory_layout::packed;
    std::uint64_t file_offset = 0;      // where the table's buffer starts in the file
    std::span<const std::uint8_t> data; // the buffer, inside the file's bytes
    std::uint64_t directory_start = 0;  // after the node table in a pack
    string_directory directory;
    std::vector<string_extent> strings; // every distinct string, by start
};

// The distinct strings of a table in the order in which the dump first meets them, each
// with that first place, for a format to decode each once (and to report a failing one
// where the dump would).
struct first_place {
    std::uint64_t start;
    std::uint32_t block, index;
};
std::vector<first_place> distinct_strings(const string_table& table);

// The extent of the string that starts at `start`, which must be one of the table's.
const string_extent& extent_at(const string_table& table, std::uint64_t start);

// The bytes of the table's buffer that belong to no directory field, block, offset
// list or string.
std::uint64_t unreached_bytes(const string_table& table);

// The new text of the string at (table, block, index): its text bytes, and its stored
// bytes with the end mark as the file's format codes them.
struct new_text {
    std::size_t table;
    std::uint32_t block;
    std::uint32_t index;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> stored;
};

// The new texts of table `table` among `texts`, which are sorted by table, block and index.
std::span<const new_text> texts_of_table(std::span<const new_text> texts, std::size_t table);

// A file written anew.
struct rebuilt_file {
    std::vector<std::uint8_t> bytes;
    std::uint64_t dropped = 0; // bytes of the old tables that no string reached
    bool new_tree = false;     // a pack's code tree was built anew
};

// Appends the table written anew with `texts` to `out` (whose first byte is the table
// buffer's first byte). Unchanged strings keep their stored bytes, or take `recoded`
// when it is not empty: the stored bytes of each of table.strings, in that order, coded
// anew. Entries with the same block and the same new texts share one block, unchanged
// strings stay shared (overlapping ones in one run) and the old order is kept, as far as
// 16-bit offsets reach; otherwise every block is followed by its own strings. Fails as
// write_directory does, in the table's section.
status write_string_table(const string_table& table, std::span<const new_text> texts,
                          std::span<const std::vector<std::uint8_t>> recoded, std::vector<std::uint8_t>& out);
