#include "format/string_table.h"

#include <algorithm>
#include <map>
#include <utility>

std::vector<first_place> distinct_strings(const string_table& table)
{
    std::vector<first_place> found;
    std::vector<bool> seen(table.data.size(), false);
    for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b) {
        const string_block& block = table.directory.blocks[b];
        for (std::uint32_t j = 0; j < block.count; ++j) {
            const std::uint64_t start = string_start(table.data, block, j);
            if (!seen[start]) {
                seen[start] = true;
                found.push_back({start, b, j});
            }
        }
    }
    return found;
}

const string_extent& extent_at(const string_table& table, std::uint64_t start)
{
    return *std::lower_bound(table.strings.begin(), table.strings.end(), start,
                             [](const string_extent& e, std::uint64_t v) { return e.start < v; });
}

std::uint64_t unreached_bytes(const string_table& table)
{
    std::vector<string_extent> used;
    if (table.layout == directory_layout::packed)
        used.push_back({0, table.directory_start}); // the node table
    used.push_back({table.directory_start, table.directory_start + directory_size(table.layout, table.directory.num_blocks)});
    for (const string_block& block : table.directory.blocks) {
        if (table.layout == directory_layout::nested)
            used.push_back({block.offset, block.offset + 4}); // the inner offset
        used.push_back({block.strings - 2, block.strings + 2 * static_cast<std::uint64_t>(block.count)});
    }
    used.insert(used.end(), table.strings.begin(), table.strings.end());
    std::sort(used.begin(), used.end(), [](const string_extent& a, const string_extent& b) { return a.start < b.start; });
    std::uint64_t covered = 0, reach = 0;
    for (const string_extent& r : used) {
        const std::uint64_t begin = std::max(r.start, reach);
        if (r.end > begin)
            covered += r.end - begin;
        reach = std::max(reach, r.end);
    }
    return table.data.size() - covered;
}

std::span<const new_text> texts_of_table(std::span<const new_text> texts, std::size_t table)
{
    const auto first = std::lower_bound(texts.begin(), texts.end(), table,
                                        [](const new_text& t, std::size_t v) { return t.table < v; });
    const auto last = std::upper_bound(first, texts.end(), table,
                                       [](std::size_t v, const new_text& t) { return v < t.table; });
    return {first, last};
}

namespace {

using bytes_t = std::vector<std::uint8_t>;

// A table's directory planned anew, and for the order of its items the position in
// the old table that each block and run stands for.
struct table_plan {
    directory_plan plan;
    std::vector<std::uint64_t> block_key, run_key;
};

// An unchanged string at a place of the new plan.
struct kept_ref {
    std::uint64_t start;
    std::uint32_t block, index;
};

// The blocks of the plan and the runs of the new texts. With `shared`, entries with the
// same block and the same new texts share one plan block, and equal new texts at one
// start share one run. Returns the places of the unchanged strings.
std::vector<kept_ref> plan_blocks(const string_table& table, std::span<const new_text> texts, bool shared,
                                  table_plan& out)
{
    using change_list = std::vector<std::pair<std::uint32_t, bytes_t>>;
    std::map<std::pair<std::uint32_t, change_list>, std::uint32_t> plan_of;
    std::map<std::pair<std::uint64_t, bytes_t>, std::uint32_t> new_run_of;
    std::vector<kept_ref> kept;
    directory_plan& plan = out.plan;
    std::size_t next_text = 0;
    for (std::uint32_t e = 0; e < table.directory.num_blocks; ++e) {
        const string_block& block = table.directory.blocks[e];
        const std::size_t first_text = next_text;
        change_list changes;
        for (; next_text < texts.size() && texts[next_text].block == e; ++next_text)
            changes.emplace_back(texts[next_text].index, texts[next_text].bytes);
        const auto key = std::make_pair(shared ? block.offset : e, changes);
        if (const auto found = plan_of.find(key); found != plan_of.end()) {
            plan.entries.push_back({block.id, found->second});
            continue;
        }
        const auto b = static_cast<std::uint32_t>(plan.blocks.size());
        plan_of.emplace(key, b);
        plan.entries.push_back({block.id, b});
        plan.blocks.emplace_back().strings.resize(block.count);
        out.block_key.push_back(block.offset);
        std::size_t change = 0;
        for (std::uint32_t j = 0; j < block.count; ++j) {
            const std::uint64_t start = string_start(table.data, block, j);
            if (change == changes.size() || changes[change].first != j) {
                kept.push_back({start, b, j});
                continue;
            }
            const new_text& text = texts[first_text + change];
            const auto run_key = std::make_pair(shared ? start : (std::uint64_t{b} << 32 | j), changes[change++].second);
            auto run = new_run_of.find(run_key);
            if (run == new_run_of.end()) {
                run = new_run_of.emplace(run_key, static_cast<std::uint32_t>(plan.runs.size())).first;
                plan.runs.push_back(text.stored);
                out.run_key.push_back(start);
            }
            plan.blocks[b].strings[j] = {run->second, 0};
        }
    }
    return kept;
}

// The runs of the unchanged strings, each start once (once per block without
// `shared`). With `shared` and the old stored bytes, a string that starts inside the
// run before it joins that run, which grows to its end.
void plan_kept_strings(const string_table& table, std::vector<kept_ref> kept,
                       std::span<const std::vector<std::uint8_t>> recoded, bool shared, table_plan& out)
{
    directory_plan& plan = out.plan;
    if (shared)
        std::stable_sort(kept.begin(), kept.end(), [](const kept_ref& a, const kept_ref& b) { return a.start < b.start; });
    std::int64_t group = -1;
    std::uint64_t group_start = 0, group_end = 0;
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const kept_ref& ref = kept[k];
        if (k > 0 && ref.start == kept[k - 1].start && (shared || ref.block == kept[k - 1].block)) {
            plan.blocks[ref.block].strings[ref.index] = plan.blocks[kept[k - 1].block].strings[kept[k - 1].index];
            continue;
        }
        const string_extent& extent = extent_at(table, ref.start);
        const auto data_at = [&](std::uint64_t p) { return table.data.begin() + static_cast<std::ptrdiff_t>(p); };
        if (shared && recoded.empty() && group >= 0 && ref.start < group_end) {
            bytes_t& run = plan.runs[static_cast<std::size_t>(group)];
            if (extent.end > group_end) {
                run.insert(run.end(), data_at(group_end), data_at(extent.end));
                group_end = extent.end;
            }
            plan.blocks[ref.block].strings[ref.index] = {static_cast<std::uint32_t>(group),
                                                         static_cast<std::uint32_t>(ref.start - group_start)};
            continue;
        }
        group = static_cast<std::int64_t>(plan.runs.size());
        group_start = ref.start;
        group_end = extent.end;
        if (recoded.empty())
            plan.runs.emplace_back(data_at(extent.start), data_at(extent.end));
        else
            plan.runs.push_back(recoded[static_cast<std::size_t>(&extent - table.strings.data())]);
        out.run_key.push_back(ref.start);
        plan.blocks[ref.block].strings[ref.index] = {static_cast<std::uint32_t>(group), 0};
    }
}

// The old order: a block before every string it names, since its string offsets cannot
// point backwards; at one position the block comes first.
void plan_old_order(table_plan& out)
{
    struct keyed {
        std::uint64_t key;
        layout_item item;
    };
    std::vector<keyed> items;
    for (std::uint32_t b = 0; b < out.plan.blocks.size(); ++b)
        items.push_back({out.block_key[b], {false, b}});
    for (std::uint32_t r = 0; r < out.plan.runs.size(); ++r)
        items.push_back({out.run_key[r], {true, r}});
    std::stable_sort(items.begin(), items.end(), [](const keyed& a, const keyed& b) {
        return a.key != b.key ? a.key < b.key : (!a.item.is_run && b.item.is_run);
    });
    for (const keyed& k : items)
        out.plan.order.push_back(k.item);
}

} // namespace

status write_string_table(const string_table& table, std::span<const new_text> texts,
                          std::span<const std::vector<std::uint8_t>> recoded, std::vector<std::uint8_t>& out)
{
    status s;
    // Shared as far as the format's offsets reach, otherwise each block with its own
    // strings, in the writer's own order.
    for (bool shared : {true, false}) {
        table_plan plan;
        plan_kept_strings(table, plan_blocks(table, texts, shared, plan), recoded, shared, plan);
        if (shared)
            plan_old_order(plan);
        bytes_t written = out;
        s = write_directory(table.layout, plan.plan, written);
        if (!failed(s)) {
            out = std::move(written);
            return {};
        }
        if (s.code != failure::out_of_reach)
            break;
    }
    return table.section < 0 ? s : in_section(s, table.section);
}
