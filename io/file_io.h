#pragma once
// Input files: 64-bit positions on every platform, and the byte source that the loaders
// read through, so that one loader serves a file on disk and bytes already in memory.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/status.h"

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// Positions `file` at `offset` from its start. Returns false when it cannot.
bool file_seek(std::FILE* file, std::uint64_t offset);

// The length of `file`, found by positioning it at its end (the position is left
// there). Returns false when the file cannot be positioned or the position told.
bool file_length(std::FILE* file, std::uint64_t& length);

// Where a loader's bytes come from: the file at `path`, or `memory` (for in-process
// callers such as fuzzers, which give `path` only for the messages).
struct byte_source {
    std::string path;
    bool in_memory = false;
    std::span<const std::uint8_t> memory;
    file_handle file;       // open between source_open and source_close
    std::uint64_t size = 0; // set by source_open
};

byte_source file_source(std::string path);
byte_source memory_source(std::string path, std::span<const std::uint8_t> bytes);

// Opens the source and takes its size. Fails with cant_open, or with cant_seek when the
// file cannot be positioned or its size told.
status source_open(byte_source& source);
void source_close(byte_source& source);

// Reads `into.size()` bytes from `offset`. Fails with cant_seek, or with cant_read when
// fewer bytes arrive.
status source_read(byte_source& source, std::uint64_t offset, std::span<std::uint8_t> into);

// Bytes of a source held for a parser: a view into the source's memory, or a buffer
// read from the file and owned here.
struct loaded_bytes {
    std::unique_ptr<std::uint8_t[]> owned;
    std::span<const std::uint8_t> data;
};

// Loads `length` bytes from `offset`. A range that runs past the end of the source
// fails with cant_read before anything is allocated; a failed allocation is memory,
// a short read cant_read.
status source_load(byte_source& source, std::uint64_t offset, std::uint64_t length, loaded_bytes& bytes);

// Reads the whole file at `path` into `bytes`. Fails with cant_open, cant_seek,
// cant_read or memory.
status read_whole_file(const std::string& path, std::vector<std::uint8_t>& bytes);

// Reads standard input to its end into `bytes` (in binary mode on every platform).
// Fails with cant_read or memory.
status read_standard_input(std::vector<std::uint8_t>& bytes);
