#pragma once
// The data archive: a section index (u32 file offsets, entry n at 4*n; section n runs
// from entry n up to entry n+1), and the strings of sections 8 (layout A directory) and
// 43 (layout B directory) in the game's own character codes.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/directory.h"
#include "io/file_io.h"
#include "io/output.h"
#include "io/status.h"

// The sections that hold strings, ended by -1. The first is read with directory
// layout A, every later one with layout B.
inline constexpr std::int32_t dump_sections[] = {8, 43, -1};

// One section being dumped.
struct loaded_section {
    std::int32_t number = 0;
    std::uint32_t file_offset = 0; // index entry n: the section's start in the file
    std::uint32_t size = 0;        // entry n+1 - entry n
    loaded_bytes bytes;            // bytes.data: the section's bytes
    string_directory directory;
};

// Loads section n of the archive: opens the source, reads index entries n and n+1 and
// the section's bytes, and closes the source again. Traces the section's place when
// `trace` is given. Fails with cant_open, cant_seek, cant_read, illegal_index or memory.
status load_section(byte_source& source, std::int32_t n, text_output* trace, loaded_section& section);

// How strings are rendered: reference, a code a step by next_game_code; fast, the codes
// of eight bytes a step where none of them ends the string or breaks the line. Both
// give the same output on every input.
enum class game_rendering { reference, fast };

// Prints every string of a loaded section whose directory has been parsed, one dump
// line per string (the verbose form shows each string's offset in the section). Fails
// with out_of_buffer when a string runs to the end of the section's data.
status print_section_strings(const loaded_section& section, bool verbose, text_output& out,
                             game_rendering rendering = game_rendering::fast);

// The whole dump: each section of the fixed list is loaded, parsed and printed before
// the next is opened; `verbose` adds the trace. Stops at the first failure.
status dump_archive(byte_source& source, bool verbose, text_output& out,
                    game_rendering rendering = game_rendering::fast);


// Appends an archive to `out`: an index of sections.size() + 1 entries, each section
// but the last padded with zero bytes to a multiple of `alignment` (a power of two),
// then `trailer` after the end of the last section. Fails with too_large when an
// offset would not fit 32 bits.
status write_archive(std::span<const std::vector<std::uint8_t>> sections, std::uint32_t alignment,
                     std::span<const std::uint8_t> trailer, std::vector<std::uint8_t>& out);
