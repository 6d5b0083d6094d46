#pragma once
// Rebuilding a game file with new texts: the string tables are written anew in their
// layouts (archive sections 8 and 43, or the whole pack), everything else of an
// archive is copied byte for byte, and the result is checked against the intent.
#include <cstdint>
#include <string>
#include <vector>

#include "format/game_file.h"

// The new text of the string at (table, block, index), as stored bytes.
struct new_text {
    std::size_t table;
    std::uint32_t block;
    std::uint32_t index;
    std::vector<std::uint8_t> bytes;
};

struct rebuilt_file {
    std::vector<std::uint8_t> bytes;
    std::uint64_t dropped = 0; // bytes of the old tables that no string reached
    bool new_tree = false;     // a pack's code tree was built anew
};

// Checks that an archive's index describes the whole file: entry 0 ends the index,
// sections 8 and 43 lie inside it, the entries do not decrease and none lies past the
// end of the file. Returns false with `error`.
bool check_archive_index(const game_file& file, std::string& error);

// Builds the file of `file` with `texts` (sorted by table, block and index, each place
// once). Strings and offset lists that several entries share stay shared while their
// text is unchanged; entries with different new texts get copies of their own. Every
// limit of the formats is checked; returns false with `error` naming the block.
bool rebuild_game_file(const game_file& file, const std::vector<new_text>& texts, rebuilt_file& result,
                       std::string& error);

// Checks, string by string, that `rebuilt` (as parsed from its bytes) holds the
// strings of `file` with `texts` in their places, the same directories, and (archives)
// every other section unchanged. Returns false with the first difference.
bool check_rebuilt(const game_file& file, const std::vector<new_text>& texts, const game_file& rebuilt,
                   std::string& error);
