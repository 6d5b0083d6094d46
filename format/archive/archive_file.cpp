// An archive as kx_text reads and writes it: the tables of sections 8 and 43 parsed and
// every string decoded as kxps_strings would, the index checked, and the file written
// anew around new tables.
#include <algorithm>

#include "format/archive/archive.h"
#include "format/archive/game_text.h"
#include "format/le.h"

status parse_archive_file(std::span<const std::uint8_t> bytes, archive_file& file)
{
    file = archive_file{};
    file.bytes = bytes;
    for (std::size_t i = 0; i < string_sections.size(); ++i) {
        const std::int32_t n = string_sections[i];
        byte_source source = memory_source("", bytes);
        loaded_section section;
        string_table& table = file.tables.emplace_back();
        table.section = n;
        table.layout = section_layout(i);
        status s = load_section(source, n, nullptr, section);
        if (!failed(s)) {
            table.file_offset = section.file_offset;
            table.data = section.bytes.data; // a view into `bytes`
            s = parse_directory(table.layout, table.data, 0, table.file_offset, nullptr, table.directory);
        }
        if (failed(s))
            return in_section(s, n);
        for (const first_place& p : distinct_strings(table)) {
            std::uint64_t end = 0;
            s = game_string_end(table.data, p.start, end);
            if (failed(s))
                return at_string(s, n, p.block, p.index);
            table.strings.push_back({p.start, end});
        }
        std::sort(table.strings.begin(), table.strings.end(),
                  [](const string_extent& a, const string_extent& b) { return a.start < b.start; });
    }
    return {};
}

void archive_string_bytes(const string_table& table, std::uint64_t start, std::vector<std::uint8_t>& bytes)
{
    const string_extent& e = extent_at(table, start);
    bytes.assign(table.data.begin() + static_cast<std::ptrdiff_t>(e.start),
                 table.data.begin() + static_cast<std::ptrdiff_t>(e.end - 1)); // without the end byte
}

void archive_text(std::span<const std::uint8_t> bytes, std::string& text)
{
    game_text_of_bytes(bytes, text);
}

namespace {

// The index entries, up to the one that ends the index.
std::vector<std::uint32_t> index_entries(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint32_t> entries;
    const std::uint32_t count = read_u32le(bytes.data()) / 4;
    for (std::uint32_t n = 0; n < count; ++n)
        entries.push_back(read_u32le(bytes.data() + 4 * static_cast<std::size_t>(n)));
    return entries;
}

// The largest power of two, up to largest_alignment, that divides every start.
std::uint32_t section_alignment(std::span<const std::uint32_t> starts)
{
    std::uint32_t alignment = largest_alignment;
    for (std::uint32_t start : starts)
        while (start % alignment != 0)
            alignment /= 2;
    return alignment;
}

} // namespace

status check_archive_index(const archive_file& file)
{
    const std::uint32_t first = read_u32le(file.bytes.data());
    if (first % 4 != 0 || first > file.bytes.size())
        return status{.code = failure::index_start, .value = first};
    const std::vector<std::uint32_t> entries = index_entries(file.bytes);
    if (entries.size() < index_entries_needed)
        return status{.code = failure::index_too_short, .count = entries.size(), .value = index_entries_needed};
    for (std::size_t n = 1; n < entries.size(); ++n)
        if (entries[n] < entries[n - 1])
            return status{.code = failure::index_decreases, .entry = static_cast<std::uint32_t>(n)};
    if (entries.back() > file.bytes.size())
        return status{.code = failure::index_past_end, .entry = static_cast<std::uint32_t>(entries.size() - 1)};
    return {};
}

status rebuild_archive(const archive_file& file, std::span<new_text> texts, rebuilt_file& result)
{
    result = rebuilt_file{};
    for (const string_table& table : file.tables)
        result.dropped += unreached_bytes(table);
    for (new_text& t : texts) {
        t.stored = t.bytes;
        t.stored.push_back(game_end_byte);
    }
    const std::vector<std::uint32_t> entries = index_entries(file.bytes);
    std::vector<std::vector<std::uint8_t>> sections(entries.size() - 1);
    for (std::size_t n = 0; n + 1 < entries.size(); ++n) {
        const auto table = std::find(string_sections.begin(), string_sections.end(), static_cast<std::int32_t>(n));
        if (table == string_sections.end()) {
            sections[n].assign(file.bytes.begin() + entries[n], file.bytes.begin() + entries[n + 1]);
            continue;
        }
        const auto t = static_cast<std::size_t>(table - string_sections.begin());
        const status s = write_string_table(file.tables[t], texts_of_table(texts, t), {}, sections[n]);
        if (failed(s))
            return s;
    }
    const std::span<const std::uint8_t> trailer = file.bytes.subspan(entries.back());
    // The alignment of the starts that can move: entry 0, the end of the index, cannot.
    return write_archive(sections, section_alignment(std::span(entries).subspan(1, entries.size() - 2)), trailer,
                         result.bytes);
}

status check_copied_sections(const archive_file& file, const archive_file& rebuilt)
{
    const std::vector<std::uint32_t> old_index = index_entries(file.bytes), new_index = index_entries(rebuilt.bytes);
    if (old_index.size() != new_index.size())
        return fail(failure::other_index);
    for (std::size_t n = 0; n + 1 < old_index.size(); ++n) {
        const bool table = std::find(string_sections.begin(), string_sections.end(), n) != string_sections.end();
        if (!table && !std::equal(file.bytes.begin() + old_index[n], file.bytes.begin() + old_index[n + 1],
                                  rebuilt.bytes.begin() + new_index[n], rebuilt.bytes.begin() + new_index[n + 1]))
            return status{.code = failure::section_changed, .section = static_cast<std::int32_t>(n)};
    }
    return {};
}
