#include "archive_strings/archive.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "common/frame.h"
#include "common/le.h"

// The sections that hold strings, ended by -1. The first is read with directory
// layout A, every later one with layout B.
static constexpr std::int32_t dump_sections[] = {8, 43, -1};

namespace {
struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;
} // namespace

static void report_illegal_index(text_output& out, std::string_view path)
{
    out_text(out, "ERROR: illegal index table: ");
    out_text(out, path);
    out_byte(out, '\n');
}

// Reads the index entries n and n+1 into `entries` (8 bytes) and the archive's total
// size. Returns 0, or -1 after the open, seek or read message.
static int read_index_entries(const archive_source& source, std::int32_t n, file_handle& file,
                              std::uint8_t* entries, std::uint64_t& archive_size, text_output& out)
{
    const std::uint64_t position = 4 * static_cast<std::uint64_t>(n);
    if (source.in_memory) {
        archive_size = source.bytes.size();
        if (position + 8 > archive_size) {
            report_cant_read(out, source.path);
            return -1;
        }
        std::copy_n(source.bytes.data() + position, 8, entries);
        return 0;
    }
    file.reset(std::fopen(source.path.c_str(), "rb"));
    if (!file) {
        report_cant_open(out, source.path);
        return -1;
    }
    // The archive's length bounds every section: nothing larger is ever allocated.
    long end = -1;
    if (std::fseek(file.get(), 0, SEEK_END) != 0 || (end = std::ftell(file.get())) < 0 ||
        std::fseek(file.get(), static_cast<long>(position), SEEK_SET) != 0) {
        report_cant_seek(out, source.path);
        return -1;
    }
    archive_size = static_cast<std::uint64_t>(end);
    if (std::fread(entries, 1, 8, file.get()) != 8) {
        report_cant_read(out, source.path);
        return -1;
    }
    return 0;
}

int load_section(const archive_source& source, std::int32_t n, text_output& out,
                 loaded_section& section)
{
    section = loaded_section{};
    section.number = n;
    file_handle file;
    std::uint8_t entries[8];
    std::uint64_t archive_size = 0;
    if (read_index_entries(source, n, file, entries, archive_size, out) != 0)
        return -1;
    const std::uint32_t start = read_u32le(entries);
    const std::uint32_t end = read_u32le(entries + 4);
    section.file_offset = start;
    section.size = end - start; // modulo 2^32, as stored
    if (end <= start) {
        report_illegal_index(out, source.path);
        return -1;
    }
    if (verbose_level != 0) {
        out_text(out, "DEBUG: offset=");
        out_hex(out, start, 8);
        out_text(out, ", size=");
        out_hex(out, section.size, 8);
        out_byte(out, '\n');
    }
    if (!source.in_memory && std::fseek(file.get(), static_cast<long>(start), SEEK_SET) != 0) {
        report_cant_seek(out, source.path);
        return -1;
    }
    // A damaged index may claim up to 4 GiB: a section that runs past the end of the
    // archive cannot be read in full, so it is refused before anything is allocated.
    if (static_cast<std::uint64_t>(end) > archive_size) {
        report_cant_read(out, source.path);
        return -1;
    }
    if (source.in_memory) {
        section.data = source.bytes.subspan(start, section.size);
        return 0;
    }
    try {
        section.owned = std::make_unique_for_overwrite<std::uint8_t[]>(section.size);
    } catch (const std::bad_alloc&) {
        report_memory_exhausted(out);
        return -1;
    }
    if (std::fread(section.owned.get(), 1, section.size, file.get()) != section.size) {
        report_cant_read(out, source.path);
        return -1;
    }
    section.data = std::span<const std::uint8_t>(section.owned.get(), section.size);
    return 0;
}

int dump_archive(const archive_source& source, text_output& out)
{
    for (int i = 0; dump_sections[i] >= 0; ++i) {
        loaded_section section;
        if (load_section(source, dump_sections[i], out, section) != 0)
            return -1;
        const int parsed = i == 0
            ? parse_directory_with_ids(section.data, section.file_offset, out, section.directory)
            : parse_directory_nested(section.data, section.file_offset, out, section.directory);
        if (parsed != 0)
            return -1;
        if (print_section_strings(section, out) != 0)
            return -1;
        // The section's bytes are released here, before the next one is loaded.
    }
    return 0;
}
