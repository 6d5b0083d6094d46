#include "translate/rebuild.h"

#include <algorithm>
#include <map>
#include <span>

#include "format/archive/archive.h"
#include "format/archive/game_text.h"
#include "format/le.h"

namespace {

using bytes_t = std::vector<std::uint8_t>;

// How a table's strings are stored anew.
struct coding {
    file_kind kind;
    bool huffman = false;
    bool verbatim = true; // unchanged strings may keep their stored bytes
    code_table code;      // Huffman: the code of the tree written
};

status encode_string(const coding& c, const bytes_t& text, bytes_t& stored)
{
    stored.clear();
    if (c.kind == file_kind::archive) {
        stored = text;
        stored.push_back(game_end_byte);
        return {};
    }
    if (!c.huffman) {
        xor_encode(text, stored);
        return {};
    }
    return huffman_encode(c.code, text, stored);
}

// One directory written anew: its plan and, for the order of its items, the position in
// the old table that each block and run stands for.
struct table_plan {
    directory_plan plan;
    std::vector<std::uint64_t> block_key, run_key;
};

// The stored bytes of an unchanged string: its old bytes where the coding allows, or
// its text encoded anew.
bool old_string(const game_file& file, const string_table& table, const coding& c, std::uint64_t start,
                bytes_t& stored, std::uint64_t& end, std::string& error)
{
    bytes_t text;
    status s = read_game_string(file, table, start, text, end);
    if (!failed(s) && c.verbatim)
        stored.assign(table.data.begin() + static_cast<std::ptrdiff_t>(start),
                      table.data.begin() + static_cast<std::ptrdiff_t>(end));
    else if (!failed(s))
        s = encode_string(c, text, stored);
    return !failed(s) || (error = failure_text(s, file.path), false);
}

// The plan of a table. With `shared`, entries with the same block and the same new texts
// share one block, unchanged strings keep their bytes (overlapping ones in one run), and
// the items keep the old order; without, every block is followed by its own strings.
bool plan_table(const game_file& file, const string_table& table, std::span<const new_text> texts,
                const coding& c, bool shared, table_plan& out, std::string& error)
{
    using change_list = std::vector<std::pair<std::uint32_t, bytes_t>>;
    struct old_ref {
        std::uint64_t start;
        std::uint32_t block, index;
    };
    std::map<std::pair<std::uint32_t, change_list>, std::uint32_t> plan_of;
    std::map<std::pair<std::uint64_t, bytes_t>, std::uint32_t> new_run_of;
    std::vector<old_ref> olds;
    directory_plan& plan = out.plan;
    std::size_t next_text = 0;
    for (std::uint32_t e = 0; e < table.directory.num_blocks; ++e) {
        const string_block& block = table.directory.blocks[e];
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
                olds.push_back({start, b, j});
                continue;
            }
            const auto run_key = std::make_pair(shared ? start : (std::uint64_t{b} << 32 | j), changes[change++].second);
            auto run = new_run_of.find(run_key);
            if (run == new_run_of.end()) {
                run = new_run_of.emplace(run_key, static_cast<std::uint32_t>(plan.runs.size())).first;
                const status s = encode_string(c, run_key.second, plan.runs.emplace_back());
                if (failed(s))
                    return error = failure_text(s, file.path), false;
                out.run_key.push_back(start);
            }
            plan.blocks[b].strings[j] = {run->second, 0};
        }
    }
    // Unchanged strings, each start once (once per block without `shared`). With
    // `shared` and the old coding, a string that starts inside the run before it joins
    // that run, which grows to its end.
    if (shared)
        std::stable_sort(olds.begin(), olds.end(), [](const old_ref& a, const old_ref& b) { return a.start < b.start; });
    std::int64_t group = -1;
    std::uint64_t group_start = 0, group_end = 0;
    for (std::size_t k = 0; k < olds.size(); ++k) {
        const old_ref& ref = olds[k];
        if (k > 0 && ref.start == olds[k - 1].start && (shared || ref.block == olds[k - 1].block)) {
            plan.blocks[ref.block].strings[ref.index] = plan.blocks[olds[k - 1].block].strings[olds[k - 1].index];
            continue;
        }
        bytes_t stored;
        std::uint64_t end = 0;
        if (!old_string(file, table, c, ref.start, stored, end, error))
            return false;
        if (shared && c.verbatim && group >= 0 && ref.start < group_end) {
            bytes_t& run = plan.runs[static_cast<std::size_t>(group)];
            if (end > group_end) {
                run.insert(run.end(), table.data.begin() + static_cast<std::ptrdiff_t>(group_end),
                           table.data.begin() + static_cast<std::ptrdiff_t>(end));
                group_end = end;
            }
            plan.blocks[ref.block].strings[ref.index] = {static_cast<std::uint32_t>(group),
                                                         static_cast<std::uint32_t>(ref.start - group_start)};
            continue;
        }
        group = static_cast<std::int64_t>(plan.runs.size());
        group_start = ref.start;
        group_end = end;
        plan.runs.push_back(std::move(stored));
        out.run_key.push_back(ref.start);
        plan.blocks[ref.block].strings[ref.index] = {static_cast<std::uint32_t>(group), 0};
    }
    if (!shared)
        return true; // the writer's own order: each block, then the strings it names first
    // The old order: a block before every string it names, since its string offsets
    // cannot point backwards; at one position the block comes first.
    struct keyed {
        std::uint64_t key;
        layout_item item;
    };
    std::vector<keyed> items;
    for (std::uint32_t b = 0; b < plan.blocks.size(); ++b)
        items.push_back({out.block_key[b], {false, b}});
    for (std::uint32_t r = 0; r < plan.runs.size(); ++r)
        items.push_back({out.run_key[r], {true, r}});
    std::stable_sort(items.begin(), items.end(), [](const keyed& a, const keyed& b) {
        return a.key != b.key ? a.key < b.key : (!a.item.is_run && b.item.is_run);
    });
    for (const keyed& k : items)
        plan.order.push_back(k.item);
    return true;
}

// Writes one table anew after `out`'s bytes: shared as far as the format's offsets
// reach, otherwise each block with its own strings.
bool write_table(const game_file& file, const string_table& table, std::span<const new_text> texts, const coding& c,
                 bytes_t& out, std::string& error)
{
    const std::string where = table.section < 0 ? std::string() : "section " + std::to_string(table.section) + ": ";
    status s;
    for (bool shared : {true, false}) {
        table_plan plan;
        if (!plan_table(file, table, texts, c, shared, plan, error))
            return false;
        bytes_t written = out;
        s = write_directory(table.layout, plan.plan, written);
        if (!failed(s)) {
            out = std::move(written);
            return true;
        }
        if (s.code != failure::out_of_reach)
            break;
    }
    error = where + failure_text(s, file.path);
    return false;
}

std::span<const new_text> texts_of_table(const std::vector<new_text>& texts, std::size_t table)
{
    const auto first = std::lower_bound(texts.begin(), texts.end(), table,
                                        [](const new_text& t, std::size_t v) { return t.table < v; });
    const auto last = std::upper_bound(texts.begin(), texts.end(), table,
                                       [](std::size_t v, const new_text& t) { return v < t.table; });
    return {first, last};
}

// A pack's code: the old tree when it is sound and has a code word for every byte of
// the new texts; otherwise a tree built from all the strings written.
bool choose_code(const game_file& file, const std::vector<new_text>& texts, coding& c,
                 std::vector<node_record>& records, bool& new_tree, std::string& error)
{
    records = file.records;
    code_words(records, c.code);
    bool covered = is_sound_tree(file.records) && c.code.has[end_mark];
    for (const new_text& t : texts)
        for (std::uint8_t byte : t.bytes)
            covered = covered && c.code.has[byte];
    new_tree = !covered;
    if (covered)
        return true;
    // Every string that will be written: the new texts and each unchanged string once.
    std::uint64_t counts[256] = {};
    const string_table& table = file.tables[0];
    std::vector<bool> counted(table.data.size(), false);
    std::size_t next = 0;
    bytes_t text;
    for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b)
        for (std::uint32_t j = 0; j < table.directory.blocks[b].count; ++j) {
            if (next < texts.size() && texts[next].block == b && texts[next].index == j) {
                count_symbols(counts, texts[next++].bytes);
                continue;
            }
            const std::uint64_t start = string_start(table.data, table.directory.blocks[b], j);
            std::uint64_t end = 0;
            if (counted[start] || failed(read_game_string(file, table, start, text, end)))
                continue;
            counted[start] = true;
            count_symbols(counts, text);
        }
    const status s = build_code_tree(counts, records);
    if (failed(s))
        return error = failure_text(s, file.path), false;
    code_words(records, c.code);
    c.verbatim = false;
    return true;
}

std::uint32_t section_alignment(std::span<const std::uint32_t> starts)
{
    std::uint32_t alignment = 2048;
    for (std::uint32_t start : starts)
        while (start % alignment != 0)
            alignment /= 2;
    return alignment;
}

std::vector<std::uint32_t> index_entries(const game_file& file)
{
    std::vector<std::uint32_t> entries;
    const std::uint32_t count = read_u32le(file.bytes.data()) / 4;
    for (std::uint32_t n = 0; n < count; ++n)
        entries.push_back(read_u32le(file.bytes.data() + 4 * static_cast<std::size_t>(n)));
    return entries;
}

} // namespace

bool check_archive_index(const game_file& file, std::string& error)
{
    const std::uint32_t first = read_u32le(file.bytes.data());
    if (first % 4 != 0 || first > file.bytes.size())
        return error = "the section index: entry 0 (" + std::to_string(first) +
                       ") must end the index on a whole entry inside the file", false;
    const std::vector<std::uint32_t> entries = index_entries(file);
    if (entries.size() < 45)
        return error = "the section index has " + std::to_string(entries.size()) +
                       " entries; sections 8 and 43 need at least 45", false;
    for (std::size_t n = 1; n < entries.size(); ++n)
        if (entries[n] < entries[n - 1])
            return error = "the section index decreases at entry " + std::to_string(n), false;
    if (entries.back() > file.bytes.size())
        return error = "the section index: entry " + std::to_string(entries.size() - 1) + " lies past the end of the file", false;
    return true;
}

bool rebuild_game_file(const game_file& file, const std::vector<new_text>& texts, rebuilt_file& result,
                       std::string& error)
{
    result = rebuilt_file{};
    result.dropped = unreached_bytes(file);
    coding c;
    c.kind = file.kind;
    if (file.kind == file_kind::pack) {
        c.huffman = file.image.num_nodes > 0;
        std::vector<node_record> records;
        if (c.huffman && !choose_code(file, texts, c, records, result.new_tree, error))
            return false;
        write_node_table(records, result.bytes);
        if (!write_table(file, file.tables[0], texts_of_table(texts, 0), c, result.bytes, error))
            return false;
        // The dumper reads files below 4 GiB only.
        if (result.bytes.size() >= (std::uint64_t{1} << 32))
            return error = failure_text(fail(failure::too_large, 0, 0, result.bytes.size()), file.path), false;
        return true;
    }
    const std::vector<std::uint32_t> entries = index_entries(file);
    std::vector<bytes_t> sections(entries.size() - 1);
    for (std::size_t n = 0; n + 1 < entries.size(); ++n) {
        std::size_t t = 0;
        while (t < file.tables.size() && file.tables[t].section != static_cast<std::int32_t>(n))
            ++t;
        if (t == file.tables.size())
            sections[n].assign(file.bytes.begin() + entries[n], file.bytes.begin() + entries[n + 1]);
        else if (!write_table(file, file.tables[t], texts_of_table(texts, t), c, sections[n], error))
            return false;
    }
    const std::span<const std::uint8_t> trailer = std::span(file.bytes).subspan(entries.back());
    // The alignment of the starts that can move: entry 0, the end of the index, cannot.
    const status s = write_archive(sections, section_alignment(std::span(entries).subspan(1, entries.size() - 2)),
                                   trailer, result.bytes);
    return !failed(s) || (error = failure_text(s, file.path), false);
}

bool check_rebuilt(const game_file& file, const std::vector<new_text>& texts, const game_file& rebuilt,
                   std::string& error)
{
    if (rebuilt.tables.size() != file.tables.size())
        return error = "the new file has other string tables", false;
    bytes_t want, got;
    for (std::size_t t = 0; t < file.tables.size(); ++t) {
        const string_table& a = file.tables[t];
        const string_table& b = rebuilt.tables[t];
        const std::span<const new_text> changes = texts_of_table(texts, t);
        if (a.directory.num_blocks != b.directory.num_blocks)
            return error = "the new file has another number of blocks", false;
        std::size_t next = 0;
        for (std::uint32_t e = 0; e < a.directory.num_blocks; ++e) {
            const string_block& old_block = a.directory.blocks[e];
            const string_block& new_block = b.directory.blocks[e];
            if (old_block.count != new_block.count || old_block.id != new_block.id)
                return error = "block " + string_context(a, e, 0) + " changed its id or its number of strings", false;
            for (std::uint32_t j = 0; j < old_block.count; ++j) {
                std::uint64_t end = 0;
                status s;
                if (next < changes.size() && changes[next].block == e && changes[next].index == j)
                    want = changes[next++].bytes;
                else
                    s = read_game_string(file, a, string_start(a.data, old_block, j), want, end);
                if (!failed(s))
                    s = read_game_string(rebuilt, b, string_start(b.data, new_block, j), got, end);
                if (failed(s) || got != want)
                    return error = "string " + string_context(a, e, j) + " does not read back as intended", false;
            }
        }
    }
    if (file.kind == file_kind::archive) {
        const std::vector<std::uint32_t> old_index = index_entries(file), new_index = index_entries(rebuilt);
        if (old_index.size() != new_index.size())
            return error = "the new index has another length", false;
        for (std::size_t n = 0; n + 1 < old_index.size(); ++n) {
            const bool table = n == 8 || n == 43;
            if (!table && !std::equal(file.bytes.begin() + old_index[n], file.bytes.begin() + old_index[n + 1],
                                      rebuilt.bytes.begin() + new_index[n], rebuilt.bytes.begin() + new_index[n + 1]))
                return error = "section " + std::to_string(n) + " was not copied unchanged", false;
        }
    }
    return true;
}
