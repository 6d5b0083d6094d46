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
#include <cstdint>
#include <span>
#include <vector>

#include "common/output.h"

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

// Each parser reads the directory of `data`, whose first byte lies at `file_base` in
// the input file (trace lines show file offsets), and fills `dir`. Returns 0, or -1
// after printing its one message; `dir` is then partly filled and must not be printed.

// Layout A, at buffer offset 0.
int parse_directory_with_ids(std::span<const std::uint8_t> data, std::uint64_t file_base,
                             text_output& out, string_directory& dir);
// Layout B, at buffer offset 0.
int parse_directory_nested(std::span<const std::uint8_t> data, std::uint64_t file_base,
                           text_output& out, string_directory& dir);
// Layout C, at buffer offset `start`; the buffer is the whole file (file base 0).
int parse_directory_packed(std::span<const std::uint8_t> data, std::uint64_t start,
                           text_output& out, string_directory& dir);
