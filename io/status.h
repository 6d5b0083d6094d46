#pragma once
// Failures as values. The code that finds a failure fills a `status` and returns it;
// the tool reports it once, with report_failure, at the point of the output where it
// happened. Every message text of the system lives in status.cpp.
#include <cstdint>
#include <string>
#include <string_view>

#include "io/output.h"

enum class failure : std::uint8_t {
    none,
    // Reading an input file (the message names the file).
    cant_open,
    cant_seek,
    cant_read,
    memory,
    illegal_index,
    // Parsing the tables.
    size_error,         // an archive directory or block does not fit its section
    overrun,            // a pack table or block does not fit the file
    illegal_offset,     // a string starts outside its buffer: position, base, value
    illegal_node_table, // the root is a leaf other than the end mark
    // Decoding strings.
    out_of_buffer,      // an archive string runs to the end of its section
    decode_overrun,     // a pack string runs to the end of the file
    left_null,          // a 0 bit at a node without a left child: byte position, bit index
    right_null,         // the same for a 1 bit
    illegal_sjis,       // a lead byte without a valid trail byte
    // Writing the formats (block is the block's position in its directory).
    too_many_blocks,    // value: the number of blocks
    too_many_strings,   // block; value: the number of strings
    out_of_reach,       // block, string; value: the distance the offset would need
    too_large,          // value: the size the file or section would have
    too_many_symbols,   // value: the number of distinct bytes
    no_code_word,       // value: the byte that the code tree has no leaf for
    end_mark_in_text,   // block, string: a text holds the byte that ends strings
};

struct status {
    failure code = failure::none;
    std::uint64_t position = 0; // file offset, or the block a writer names
    std::uint64_t base = 0;     // the base a string offset counts from, or a string index
    std::uint64_t value = 0;    // the stored value, bit index, or count the message shows
};

inline bool failed(const status& s) { return s.code != failure::none; }

inline status fail(failure code, std::uint64_t position = 0, std::uint64_t base = 0, std::uint64_t value = 0)
{
    return status{code, position, base, value};
}

// Writes the one message of `s` to `out`; `path` is the input file as opened.
void report_failure(text_output& out, const status& s, std::string_view path);

// The same message as a string, for callers that compose their own.
std::string failure_message(const status& s, std::string_view path);
