#pragma once
// Input files: 64-bit positions on every platform, and the byte source that the loaders
// read through, so that one loader serves a file on disk and bytes already in memory.
#include <algorithm>
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

// Reads `into.size()` bytes from `offset` with one positioned read that leaves no file
// position behind (pread; ReadFile at an offset on Windows). Fails with cant_read when
// fewer bytes arrive: a file that has shrunk since it was opened.
status source_read_at(byte_source& source, std::uint64_t offset, std::span<std::uint8_t> into);

// A range of a source of which only the parts that a reader asks for are read. `data`
// spans the whole range; from a file, it holds the file's bytes only in the chunks that
// paged_need or paged_reach have read, so a large file whose tables name a few bytes
// costs those bytes, not its size. The memory is taken whole but touched only where
// read. A range up to paged_whole bytes, and a memory source, are there at once. Up to
// paged_large_pages bytes the memory is asked for in large pages where the system has
// them (fewer page faults); above, a page costs only where it is read.
inline constexpr std::uint64_t paged_chunk = std::uint64_t{1} << 14;
inline constexpr std::uint64_t paged_whole = std::uint64_t{1} << 20;
inline constexpr std::uint64_t paged_large_pages = std::uint64_t{1} << 26;

struct paged_bytes {
    byte_source* source = nullptr; // reads the chunks not read yet; null when all are there
    std::uint64_t offset = 0;      // where data[0] lies in the source
    std::unique_ptr<std::uint8_t[]> owned;
    std::span<const std::uint8_t> data;
    std::vector<std::uint8_t> chunk_read; // per chunk of paged_chunk bytes: 1 once read
};

// Takes `length` bytes from `offset` of an open source, reading at once only a range of
// up to paged_whole bytes. A range past the end of the source fails with cant_read before
// anything is allocated; a failed allocation is memory, a short read cant_read. `source`
// must stay open while `bytes` reads from it.
status source_page(byte_source& source, std::uint64_t offset, std::uint64_t length, paged_bytes& bytes);

// Reads the chunks of data[from, to) not read yet (the part inside `data`). Fails with
// cant_read when the source no longer holds them.
status paged_need(paged_bytes& bytes, std::uint64_t from, std::uint64_t to);

// Reads the chunk of data[position] (position < data.size()) and sets `limit` to the end
// of that chunk: data[position, limit) holds the source's bytes.
status paged_reach(paged_bytes& bytes, std::uint64_t position, std::uint64_t& limit);

// The same without a read: whether data[position] is there already, `limit` set as
// paged_reach sets it when it is.
inline bool paged_ready(const paged_bytes& bytes, std::uint64_t position, std::uint64_t& limit)
{
    const std::uint64_t size = bytes.data.size();
    if (bytes.source == nullptr) {
        limit = size;
        return true;
    }
    if (bytes.chunk_read[static_cast<std::size_t>(position / paged_chunk)] == 0)
        return false;
    limit = std::min(size, (position / paged_chunk + 1) * paged_chunk);
    return true;
}

// Reads the whole file at `path` into `bytes`. Fails with cant_open, cant_seek,
// cant_read or memory.
status read_whole_file(const std::string& path, std::vector<std::uint8_t>& bytes);

// Reads standard input to its end into `bytes` (in binary mode on every platform).
// Fails with cant_read or memory.
status read_standard_input(std::vector<std::uint8_t>& bytes);
