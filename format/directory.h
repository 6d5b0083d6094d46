#pragma once
// The string block directory: a list of numbered blocks, each with a list of string
// start offsets. Three byte layouts share one parsed form:
//   A: u32 block count (low 16 bits used), then per block u32 id, u32 offset;
//      at the offset a u16 count and count u16 string offsets that count from the
//      first byte after the list.
//   B: u32 block count (low 16 bits used), then per block a u32 offset; at the offset
//      a u32 inner offset to the u16 count and its list; the string offsets count from
//      the count field. Layout B stores no block ids.
//   C: at a given position a u16 block count, then per block u16 id, u32 offset;
//      blocks as in layout A.
// All offsets count from the start of the buffer: an archive section (A, B) or the
// whole packed file (C).
#include <cstdint>
#include <span>
#include <vector>

#include "io/output.h"
#include "io/status.h"

enum class directory_layout { with_ids, nested, packed };

// The size of a directory's block count (A and B store 32 bits, of which only the low
// 16 are used) and of one of its entries.
inline constexpr std::uint64_t directory_count_size(directory_layout layout)
{
    return layout == directory_layout::packed ? 2 : 4;
}
inline constexpr std::uint64_t directory_entry_size(directory_layout layout)
{
    return layout == directory_layout::with_ids ? 8 : layout == directory_layout::nested ? 4 : 6;
}
// The bytes of a directory of `blocks` entries: its count and its entries.
inline constexpr std::uint64_t directory_size(directory_layout layout, std::uint64_t blocks)
{
    return directory_count_size(layout) + directory_entry_size(layout) * blocks;
}

struct string_block {
    std::uint32_t id;     // 0 in layout B
    std::uint32_t offset; // as stored in the directory entry
    std::uint16_t count;  // number of strings
    // Buffer position of the block's list of `count` 16-bit string offsets, and the
    // position those offsets count from. The list is kept as stored rather than
    // expanded into pointers: many blocks may share one list, and expanding would let
    // a small file claim gigabytes of pointers.
    std::uint64_t strings;
    std::uint64_t base;
};

struct string_directory {
    std::uint16_t num_blocks = 0;
    std::vector<string_block> blocks;
};

// Buffer position of string j of block b. Only valid after a successful parse, which
// has checked that every string starts inside the buffer.
inline std::uint64_t string_start(std::span<const std::uint8_t> data, const string_block& b,
                                  std::uint32_t j)
{
    const std::uint8_t* entry = data.data() + b.strings + 2 * static_cast<std::uint64_t>(j);
    return b.base + static_cast<std::uint64_t>(entry[0] | (entry[1] << 8));
}

// Reads the directory at buffer position `start` of `data` (0 for layouts A and B)
// and fills `dir`. `file_base` is the file offset of the buffer's first byte: trace
// lines, written to `trace` unless it is null, show file offsets. Fails with
// size_error (A, B) or overrun (C) when a table does not fit, illegal_offset when a
// string would start outside the buffer, memory when the records cannot be had;
// `dir` is then partly filled and must not be printed. Without a trace, the check of
// the string offsets takes time linear in the buffer's size plus the number of
// strings, also when many blocks share or overlap one list.
status parse_directory(directory_layout layout, std::span<const std::uint8_t> data, std::uint64_t start,
                       std::uint64_t file_base, text_output* trace, string_directory& dir);

// A directory to be written. Entries name blocks, blocks list strings, and strings
// start inside stored byte runs, so entries may share a block, a block's strings may
// share bytes, and strings may overlap.
struct string_ref {
    std::uint32_t run;
    std::uint32_t offset; // where the string starts inside its run
};
struct block_plan {
    std::vector<string_ref> strings;
};
struct entry_plan {
    std::uint32_t id;    // not stored in layout B; layout C stores its low 16 bits
    std::uint32_t block; // index into blocks
};
struct layout_item {
    bool is_run;         // a run, or a block (its header and offset list)
    std::uint32_t index;
};
struct directory_plan {
    std::vector<entry_plan> entries;
    std::vector<block_plan> blocks;
    std::vector<std::vector<std::uint8_t>> runs; // stored bytes, end marks included
    // The order in which blocks and runs follow the directory, each once. Empty: every
    // block followed by the runs that it is the first to name.
    std::vector<layout_item> order;
};

// Appends the directory of `plan` to `out`, whose first byte is the buffer's first
// byte (for layout C, `out` holds the node table before it), then the blocks and runs
// in order. A layout B block is stored with its count right after its inner offset.
// Checks every limit of the format before anything is appended, failing with
// too_many_blocks, too_many_strings, out_of_reach (naming the first entry of the
// block and the string) or too_large (offsets past 4 GiB).
status write_directory(directory_layout layout, const directory_plan& plan, std::vector<std::uint8_t>& out);
