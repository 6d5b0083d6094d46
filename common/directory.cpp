#include "common/directory.h"

#include <new>
#include <string_view>

#include "common/frame.h"
#include "common/le.h"

static void trace_position(text_output& out, std::uint64_t position)
{
    out_text(out, "DEBUG: +");
    out_hex(out, position, 8);
}

static void trace_num_blocks(text_output& out, std::uint64_t position, std::uint16_t num_blocks)
{
    trace_position(out, position);
    out_text(out, " num_blocks = ");
    out_dec(out, num_blocks, 0);
    out_byte(out, '\n');
}

static void trace_entry_offset(text_output& out, std::uint32_t offset)
{
    out_text(out, " offset=");
    out_hex(out, offset, 8);
    out_byte(out, '\n');
}

static void trace_count(text_output& out, std::uint64_t position, std::uint32_t i, std::uint16_t count)
{
    trace_position(out, position);
    out_text(out, " [");
    out_dec(out, i, 0);
    out_text(out, "] count=");
    out_dec(out, count, 0);
    out_byte(out, '\n');
}

static void report_illegal_offset(text_output& out, std::uint64_t base, std::uint16_t o)
{
    out_text(out, "ERROR: illegal code offset: ");
    out_hex(out, base + o, 4);
    out_text(out, " = ");
    out_hex(out, base, 4);
    out_text(out, " + ");
    out_hex(out, o, 4);
    out_byte(out, '\n');
}

static int allocate_blocks(text_output& out, string_directory& dir)
{
    try {
        dir.blocks.assign(dir.num_blocks, string_block{});
    } catch (const std::bad_alloc&) {
        report_memory_exhausted(out);
        return -1;
    }
    return 0;
}

// Trace of an entry whose id is shown: "DEBUG: +pos [i] id=N offset=XXXXXXXX".
static void trace_entry_with_id(text_output& out, std::uint64_t position, std::uint32_t i,
                                std::uint32_t id, std::uint32_t offset)
{
    trace_position(out, position);
    out_text(out, " [");
    out_dec(out, i, 0);
    out_text(out, "] id=");
    out_dec(out, static_cast<std::int32_t>(id), 0); // shown as a signed number
    trace_entry_offset(out, offset);
}

// A block's 16-bit string count at buffer position `header` and the list of string
// offsets behind it. In layouts A and C the offsets count from the first byte after
// the list; in layout B from the count field, and its trace also shows where each
// string starts. Fills the block's count, list position and base; returns 0, or -1
// after `size_error` or the illegal offset message.
static int parse_string_list(std::span<const std::uint8_t> data, std::uint64_t file_base,
                             std::string_view size_error, text_output& out, std::uint32_t i,
                             std::uint64_t header, bool nested, string_block& block)
{
    const bool verbose = verbose_level != 0;
    const std::uint64_t size = data.size();
    if (header + 2 > size) {
        out_text(out, size_error);
        return -1;
    }
    block.count = read_u16le(data.data() + header);
    if (verbose)
        trace_count(out, file_base + header, i, block.count);
    const std::uint64_t list_end = header + 2 + 2 * static_cast<std::uint64_t>(block.count);
    if (list_end > size) {
        out_text(out, size_error);
        return -1;
    }
    block.strings = header + 2;
    block.base = nested ? header : list_end;
    for (std::uint32_t j = 0; j < block.count; ++j) {
        const std::uint64_t p = header + 2 + 2 * static_cast<std::uint64_t>(j);
        const std::uint16_t o = read_u16le(data.data() + p);
        if (verbose) {
            trace_position(out, file_base + p);
            out_text(out, " [");
            out_dec(out, i, 0);
            out_text(out, "][");
            out_dec(out, j, 0);
            out_text(out, "] offset=");
            out_hex(out, o, 4);
            if (nested) {
                out_text(out, ", +");
                out_hex(out, file_base + block.base + o, 8);
            }
            out_byte(out, '\n');
        }
        if (block.base + o + 1 > size) {
            report_illegal_offset(out, block.base, o);
            return -1;
        }
    }
    return 0;
}

static constexpr std::string_view archive_size_error = "ERROR: buffer size error\n";
static constexpr std::string_view pack_size_error = "ERROR: buffer overrun\n";

// Layouts A and B open with a 32-bit block count, of which only the low 16 bits are
// used, and a table of `entry_size` bytes per block. Checks that both fit and
// allocates the block records; returns 0, or -1 after the size or memory message.
static int parse_archive_block_count(std::span<const std::uint8_t> data, std::uint64_t file_base,
                                     std::uint64_t entry_size, text_output& out,
                                     string_directory& dir)
{
    if (4 > data.size()) {
        out_text(out, archive_size_error);
        return -1;
    }
    dir.num_blocks = read_u16le(data.data());
    if (verbose_level != 0)
        trace_num_blocks(out, file_base, dir.num_blocks);
    if (4 + entry_size * dir.num_blocks > data.size()) {
        out_text(out, archive_size_error);
        return -1;
    }
    return allocate_blocks(out, dir);
}

int parse_directory_with_ids(std::span<const std::uint8_t> data, std::uint64_t file_base,
                             text_output& out, string_directory& dir)
{
    const bool verbose = verbose_level != 0;
    if (parse_archive_block_count(data, file_base, 8, out, dir) != 0)
        return -1;
    // The whole directory is read (and traced) before the first block is visited.
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i) {
        const std::uint64_t p = 4 + 8 * static_cast<std::uint64_t>(i);
        string_block& block = dir.blocks[i];
        block.id = read_u32le(data.data() + p);
        block.offset = read_u32le(data.data() + p + 4);
        if (verbose)
            trace_entry_with_id(out, file_base + p, i, block.id, block.offset);
    }
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i)
        if (parse_string_list(data, file_base, archive_size_error, out, i, dir.blocks[i].offset, false, dir.blocks[i]) != 0)
            return -1;
    return 0;
}

int parse_directory_nested(std::span<const std::uint8_t> data, std::uint64_t file_base,
                           text_output& out, string_directory& dir)
{
    const bool verbose = verbose_level != 0;
    const std::uint64_t size = data.size();
    if (parse_archive_block_count(data, file_base, 4, out, dir) != 0)
        return -1;
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i) {
        string_block& block = dir.blocks[i];
        block.offset = read_u32le(data.data() + 4 + 4 * static_cast<std::uint64_t>(i));
        if (verbose) // this entry line has neither "DEBUG: " nor a position
            trace_entry_offset(out, block.offset);
    }
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i) {
        string_block& block = dir.blocks[i];
        const std::uint64_t q = block.offset;
        if (q + 4 > size) {
            out_text(out, archive_size_error);
            return -1;
        }
        const std::uint32_t inner = read_u32le(data.data() + q);
        const std::uint64_t r = q + inner; // position of the count field
        if (verbose) {
            trace_position(out, file_base + q);
            out_text(out, " [");
            out_dec(out, i, 0);
            out_text(out, "] offset=");
            out_hex(out, inner, 8);
            out_text(out, ", +");
            out_hex(out, file_base + r, 8);
            out_byte(out, '\n');
        }
        if (parse_string_list(data, file_base, archive_size_error, out, i, r, true, block) != 0)
            return -1;
    }
    return 0;
}

int parse_directory_packed(std::span<const std::uint8_t> data, std::uint64_t start,
                           text_output& out, string_directory& dir)
{
    const bool verbose = verbose_level != 0;
    const std::uint64_t size = data.size();
    if (start + 2 > size) {
        out_text(out, pack_size_error);
        return -1;
    }
    dir.num_blocks = read_u16le(data.data() + start);
    if (verbose)
        trace_num_blocks(out, start, dir.num_blocks);
    if (start + 2 + 6 * static_cast<std::uint64_t>(dir.num_blocks) > size) {
        out_text(out, pack_size_error);
        return -1;
    }
    if (allocate_blocks(out, dir) != 0)
        return -1;
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i) {
        const std::uint64_t p = start + 2 + 6 * static_cast<std::uint64_t>(i);
        string_block& block = dir.blocks[i];
        block.id = read_u16le(data.data() + p);
        block.offset = read_u32le(data.data() + p + 2);
        if (verbose)
            trace_entry_with_id(out, p, i, block.id, block.offset);
    }
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i)
        if (parse_string_list(data, 0, pack_size_error, out, i, dir.blocks[i].offset, false, dir.blocks[i]) != 0)
            return -1;
    return 0;
}
