#include "format/directory.h"

#include <algorithm>
#include <new>

#include "format/le.h"

namespace {

void trace_position(text_output& out, std::uint64_t position)
{
    out_text(out, "DEBUG: +");
    out_hex(out, position, 8);
}

void trace_num_blocks(text_output& out, std::uint64_t position, std::uint16_t num_blocks)
{
    trace_position(out, position);
    out_text(out, " num_blocks = ");
    out_dec(out, num_blocks);
    out_byte(out, '\n');
}

void trace_entry_offset(text_output& out, std::uint32_t offset)
{
    out_text(out, " offset=");
    out_hex(out, offset, 8);
    out_byte(out, '\n');
}

// "DEBUG: +pos [i] id=N offset=XXXXXXXX"; the id shows as a signed number.
void trace_entry_with_id(text_output& out, std::uint64_t position, std::uint32_t i, std::uint32_t id,
                         std::uint32_t offset)
{
    trace_position(out, position);
    out_text(out, " [");
    out_dec(out, i);
    out_text(out, "] id=");
    out_dec(out, static_cast<std::int32_t>(id));
    trace_entry_offset(out, offset);
}

void trace_count(text_output& out, std::uint64_t position, std::uint32_t i, std::uint16_t count)
{
    trace_position(out, position);
    out_text(out, " [");
    out_dec(out, i);
    out_text(out, "] count=");
    out_dec(out, count);
    out_byte(out, '\n');
}

void trace_string_offset(text_output& out, std::uint64_t position, std::uint32_t i, std::uint32_t j,
                         std::uint16_t o)
{
    trace_position(out, position);
    out_text(out, " [");
    out_dec(out, i);
    out_text(out, "][");
    out_dec(out, j);
    out_text(out, "] offset=");
    out_hex(out, o, 4);
}

// The largest of each run of 64 words of a buffer, and of each run of 64 such runs,
// for the words at even and at odd positions: with them the offset list of a block is
// checked in a few steps however many blocks share or overlap its words. Built only
// when the lists checked one word at a time have come to outnumber the buffer's bytes.
struct word_maxima {
    std::vector<std::uint16_t> level[2][2]; // [parity][0: runs of 64 words, 1: of 4096]
};

constexpr std::uint64_t run_words = 64;

bool build_word_maxima(std::span<const std::uint8_t> data, word_maxima& maxima)
{
    try {
        for (std::uint64_t parity = 0; parity < 2; ++parity) {
            const std::uint64_t words = data.size() > parity ? (data.size() - parity) / 2 : 0;
            std::vector<std::uint16_t>& runs = maxima.level[parity][0];
            runs.assign(static_cast<std::size_t>((words + run_words - 1) / run_words), 0);
            for (std::uint64_t w = 0; w < words; ++w)
                runs[w / run_words] = std::max(runs[w / run_words], read_u16le(data.data() + parity + 2 * w));
            std::vector<std::uint16_t>& long_runs = maxima.level[parity][1];
            long_runs.assign((runs.size() + run_words - 1) / run_words, 0);
            for (std::size_t r = 0; r < runs.size(); ++r)
                long_runs[r / run_words] = std::max(long_runs[r / run_words], runs[r]);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The largest of the `count` words from buffer position `first`: the words outside whole
// runs one at a time, then the runs, then the runs of runs.
std::uint16_t max_of_words(std::span<const std::uint8_t> data, const word_maxima& maxima, std::uint64_t first,
                           std::uint64_t count)
{
    const std::uint64_t parity = first & 1;
    const std::uint8_t* const words = data.data() + parity;
    std::uint64_t from = first / 2, to = first / 2 + count; // word indices of this parity
    std::uint16_t m = 0;
    while (from < to && from % run_words != 0)
        m = std::max(m, read_u16le(words + 2 * from++));
    while (to > from && to % run_words != 0)
        m = std::max(m, read_u16le(words + 2 * --to));
    for (int level = 0; level < 2 && from < to; ++level) {
        const std::vector<std::uint16_t>& runs = maxima.level[parity][level];
        from /= run_words;
        to /= run_words;
        while (from < to && (level == 1 || from % run_words != 0))
            m = std::max(m, runs[from++]);
        while (to > from && to % run_words != 0)
            m = std::max(m, runs[--to]);
    }
    return m;
}

// What the plain (untraced) check of the offset lists has done so far.
struct list_checks {
    std::uint64_t words_checked = 0;
    enum { none, built, unavailable } maxima_state = none;
    word_maxima maxima;
};

// A block's 16-bit string count at buffer position `header` and the list of string
// offsets behind it. In layouts A and C the offsets count from the first byte after
// the list; in layout B from the count field, and its trace also shows where each
// string starts. Fills the block's count, list position and base.
status parse_string_list(std::span<const std::uint8_t> data, std::uint64_t file_base, failure size_error,
                         text_output* trace, std::uint32_t i, std::uint64_t header, bool nested,
                         list_checks& checks, string_block& block)
{
    const std::uint64_t size = data.size();
    if (header + 2 > size)
        return fail(size_error);
    block.count = read_u16le(data.data() + header);
    if (trace)
        trace_count(*trace, file_base + header, i, block.count);
    const std::uint64_t list_end = header + 2 + 2 * static_cast<std::uint64_t>(block.count);
    if (list_end > size)
        return fail(size_error);
    block.strings = header + 2;
    block.base = nested ? header : list_end;
    if (!trace) {
        // Every string starts inside the buffer when the largest offset does.
        if (checks.maxima_state == list_checks::none && checks.words_checked > size)
            checks.maxima_state = build_word_maxima(data, checks.maxima) ? list_checks::built
                                                                          : list_checks::unavailable;
        if (checks.maxima_state == list_checks::built) {
            if (block.count == 0 || block.base + max_of_words(data, checks.maxima, block.strings, block.count) < size)
                return {};
        } else {
            checks.words_checked += block.count;
        }
    }
    for (std::uint32_t j = 0; j < block.count; ++j) {
        const std::uint64_t p = header + 2 + 2 * static_cast<std::uint64_t>(j);
        const std::uint16_t o = read_u16le(data.data() + p);
        if (trace) {
            trace_string_offset(*trace, file_base + p, i, j, o);
            if (nested) {
                out_text(*trace, ", +");
                out_hex(*trace, file_base + block.base + o, 8);
            }
            out_byte(*trace, '\n');
        }
        if (block.base + o + 1 > size)
            return status{.code = failure::illegal_offset, .offset = block.base + o, .base = block.base, .stored = o};
    }
    return {};
}

} // namespace

status parse_directory(directory_layout layout, std::span<const std::uint8_t> data, std::uint64_t start,
                       std::uint64_t file_base, text_output* trace, string_directory& dir)
{
    const std::uint64_t size = data.size();
    const bool packed = layout == directory_layout::packed;
    const failure size_error = packed ? failure::overrun : failure::size_error;
    const std::uint64_t count_size = directory_count_size(layout);
    const std::uint64_t entry_size = directory_entry_size(layout);
    if (start + count_size > size)
        return fail(size_error);
    dir.num_blocks = read_u16le(data.data() + start);
    if (trace)
        trace_num_blocks(*trace, file_base + start, dir.num_blocks);
    const std::uint64_t entries = start + count_size;
    if (entries + entry_size * dir.num_blocks > size)
        return fail(size_error);
    try {
        dir.blocks.assign(dir.num_blocks, string_block{});
    } catch (const std::bad_alloc&) {
        return fail(failure::memory);
    }
    // The whole directory is read (and traced) before the first block is visited.
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i) {
        const std::uint64_t p = entries + entry_size * i;
        string_block& block = dir.blocks[i];
        if (layout == directory_layout::nested) {
            block.offset = read_u32le(data.data() + p);
            if (trace) // this entry line has neither "DEBUG: " nor a position
                trace_entry_offset(*trace, block.offset);
            continue;
        }
        block.id = packed ? read_u16le(data.data() + p) : read_u32le(data.data() + p);
        block.offset = read_u32le(data.data() + p + entry_size - 4);
        if (trace)
            trace_entry_with_id(*trace, file_base + p, i, block.id, block.offset);
    }
    list_checks checks;
    for (std::uint32_t i = 0; i < dir.num_blocks; ++i) {
        string_block& block = dir.blocks[i];
        std::uint64_t header = block.offset;
        if (layout == directory_layout::nested) {
            if (header + 4 > size)
                return fail(size_error);
            const std::uint32_t inner = read_u32le(data.data() + header);
            if (trace) {
                trace_position(*trace, file_base + header);
                out_text(*trace, " [");
                out_dec(*trace, i);
                out_text(*trace, "] offset=");
                out_hex(*trace, inner, 8);
                out_text(*trace, ", +");
                out_hex(*trace, file_base + header + inner, 8);
                out_byte(*trace, '\n');
            }
            header += inner; // the count field
        }
        const status s = parse_string_list(data, file_base, size_error, trace, i, header,
                                           layout == directory_layout::nested, checks, block);
        if (failed(s))
            return s;
    }
    return {};
}

namespace {

// Bytes a block takes: the layout B inner offset, the count and the offset list.
std::uint64_t block_size(directory_layout layout, const block_plan& block)
{
    return (layout == directory_layout::nested ? 4 : 0) + 2 + 2 * static_cast<std::uint64_t>(block.strings.size());
}

// Where the string offsets of a block placed at `at` count from: its count field in
// layout B, the byte after its list otherwise.
std::uint64_t block_base(directory_layout layout, const block_plan& block, std::uint64_t at)
{
    return at + (layout == directory_layout::nested ? 4 : block_size(layout, block));
}

// Where everything of a plan goes, and where it ends.
struct placement {
    std::vector<layout_item> order;
    std::vector<std::uint64_t> block_at, run_at;
    std::uint64_t end = 0;
};

placement place_items(directory_layout layout, const directory_plan& plan, std::uint64_t start)
{
    placement p{plan.order, std::vector<std::uint64_t>(plan.blocks.size()), std::vector<std::uint64_t>(plan.runs.size())};
    if (p.order.empty()) { // each block, then the runs that it is the first to name
        std::vector<bool> placed(plan.runs.size(), false);
        for (std::uint32_t b = 0; b < plan.blocks.size(); ++b) {
            p.order.push_back({false, b});
            for (const string_ref& s : plan.blocks[b].strings)
                if (!placed[s.run]) {
                    placed[s.run] = true;
                    p.order.push_back({true, s.run});
                }
        }
    }
    p.end = start + directory_size(layout, plan.entries.size());
    for (const layout_item& item : p.order) {
        (item.is_run ? p.run_at : p.block_at)[item.index] = p.end;
        p.end += item.is_run ? plan.runs[item.index].size() : block_size(layout, plan.blocks[item.index]);
    }
    return p;
}

// Every limit of the format, before anything is written. Messages name a block by the
// first directory entry that names it.
status check_limits(directory_layout layout, const directory_plan& plan, const placement& p)
{
    if (p.end > offset_limit)
        return status{.code = failure::too_large, .size = p.end};
    std::vector<std::uint32_t> first_entry(plan.blocks.size(), 0);
    for (std::size_t e = plan.entries.size(); e-- > 0;)
        first_entry[plan.entries[e].block] = static_cast<std::uint32_t>(e);
    for (std::uint32_t b = 0; b < plan.blocks.size(); ++b) {
        const block_plan& block = plan.blocks[b];
        if (block.strings.size() > 0xFFFF)
            return status{.code = failure::too_many_strings, .block = first_entry[b], .count = block.strings.size()};
        const std::uint64_t base = block_base(layout, block, p.block_at[b]);
        for (std::size_t j = 0; j < block.strings.size(); ++j) {
            const std::int64_t distance = static_cast<std::int64_t>(p.run_at[block.strings[j].run] + block.strings[j].offset) -
                                          static_cast<std::int64_t>(base);
            if (distance < 0 || distance > 0xFFFF)
                return status{.code = failure::out_of_reach, .block = first_entry[b], .string = static_cast<std::uint32_t>(j),
                              .distance = static_cast<std::uint64_t>(distance)};
        }
    }
    return {};
}

// A block's header and offset list at `p`, placed at `at`.
void write_block(directory_layout layout, const block_plan& block, const placement& placed, std::uint64_t at,
                 std::uint8_t* p)
{
    if (layout == directory_layout::nested) {
        write_u32le(p, 4); // the count follows the inner offset directly
        p += 4;
    }
    write_u16le(p, static_cast<std::uint16_t>(block.strings.size()));
    const std::uint64_t base = block_base(layout, block, at);
    for (std::size_t j = 0; j < block.strings.size(); ++j) {
        const std::uint64_t string_at = placed.run_at[block.strings[j].run] + block.strings[j].offset;
        write_u16le(p + 2 + 2 * j, static_cast<std::uint16_t>(string_at - base));
    }
}

} // namespace

status write_directory(directory_layout layout, const directory_plan& plan, std::vector<std::uint8_t>& out)
{
    if (plan.entries.size() > 0xFFFF)
        return status{.code = failure::too_many_blocks, .count = plan.entries.size()};
    const std::uint64_t start = out.size();
    const placement placed = place_items(layout, plan, start);
    if (const status s = check_limits(layout, plan, placed); failed(s))
        return s;
    out.resize(static_cast<std::size_t>(placed.end), 0);
    std::uint8_t* const bytes = out.data();
    if (layout == directory_layout::packed)
        write_u16le(bytes + start, static_cast<std::uint16_t>(plan.entries.size()));
    else
        write_u32le(bytes + start, static_cast<std::uint32_t>(plan.entries.size()));
    for (std::size_t e = 0; e < plan.entries.size(); ++e) {
        std::uint8_t* p = bytes + start + directory_size(layout, e);
        if (layout == directory_layout::with_ids)
            write_u32le(p, plan.entries[e].id);
        else if (layout == directory_layout::packed)
            write_u16le(p, static_cast<std::uint16_t>(plan.entries[e].id));
        write_u32le(p + directory_entry_size(layout) - 4, static_cast<std::uint32_t>(placed.block_at[plan.entries[e].block]));
    }
    for (const layout_item& item : placed.order) {
        if (item.is_run)
            std::copy(plan.runs[item.index].begin(), plan.runs[item.index].end(), bytes + placed.run_at[item.index]);
        else
            write_block(layout, plan.blocks[item.index], placed, placed.block_at[item.index],
                        bytes + placed.block_at[item.index]);
    }
    return {};
}
