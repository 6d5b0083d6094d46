#pragma once
// The archive string dumper: the section index, section loading, and the dump of the
// string sections 8 (layout A directory) and 43 (layout B directory).
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/directory.h"
#include "common/output.h"

// Where the archive's bytes come from: the named file, or (for in-process callers such
// as fuzzers) bytes already in memory. Messages name `path` either way.
struct archive_source {
    std::string path;
    bool in_memory = false;
    std::span<const std::uint8_t> bytes; // the whole archive when in_memory
};

// One section being dumped.
struct loaded_section {
    std::int32_t number = 0;
    std::uint32_t file_offset = 0;           // index entry n: the section's start in the file
    std::unique_ptr<std::uint8_t[]> owned;   // the bytes read from a file
    std::span<const std::uint8_t> data;      // the section's bytes (owned, or inside the source)
    std::uint32_t size = 0;                  // entry n+1 - entry n
    string_directory directory;
};

// Loads section n. Returns 0 with `section` filled, or -1 after printing one message
// (open, seek, read, index or memory failure). The file is closed before returning.
int load_section(const archive_source& source, std::int32_t n, text_output& out,
                 loaded_section& section);

// Prints every string of a loaded section whose directory has been parsed, one dump
// line per string. Returns 0, or -1 after "\nERROR: out of buffer\n" when a string
// runs to the end of the section's data.
int print_section_strings(const loaded_section& section, text_output& out);

// The whole dump: each section of the fixed list is loaded, parsed and printed before
// the next is opened. Returns 0, or -1 at the first failure (its message printed).
int dump_archive(const archive_source& source, text_output& out);
