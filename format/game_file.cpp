#include "format/game_file.h"

#include <algorithm>

#include "format/archive/archive.h"
#include "format/archive/game_text.h"
#include "io/file_io.h"
#include "format/pack/pack_text.h"

std::string failure_text(const status& s, const std::string& path)
{
    const std::string message = failure_message(s, path);
    std::string_view text = message;
    while (!text.empty() && text.front() == '\n')
        text.remove_prefix(1);
    if (text.starts_with("ERROR: "))
        text.remove_prefix(7);
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    return std::string(text);
}

status read_game_string(const game_file& file, const string_table& table, std::uint64_t start,
                        std::vector<std::uint8_t>& bytes, std::uint64_t& end)
{
    if (file.kind == file_kind::pack)
        return pack_string_bytes(file.image, start, bytes, &end);
    std::string text;
    const status s = game_text_of(table.data, start, text, &end);
    if (!failed(s))
        bytes.assign(table.data.begin() + static_cast<std::ptrdiff_t>(start),
                     table.data.begin() + static_cast<std::ptrdiff_t>(end - 1));
    return s;
}

void game_text(const game_file& file, std::span<const std::uint8_t> bytes, std::string& text)
{
    if (file.kind == file_kind::pack) {
        pack_text_of(bytes, text);
        return;
    }
    std::vector<std::uint8_t> stored(bytes.begin(), bytes.end());
    stored.push_back(game_end_byte);
    game_text_of(stored, 0, text);
}

std::string string_context(const string_table& table, std::uint32_t block, std::uint32_t index)
{
    const std::string place = std::to_string(block) + ":" + std::to_string(index);
    return table.section < 0 ? place : std::to_string(table.section) + ":" + place;
}

namespace {

// Decodes each distinct string of the table once, as the dumpers would decode every
// reference to it. Returns false with the dumpers' message and the first place.
bool check_strings(const game_file& file, const string_table& table, std::string& error)
{
    std::vector<bool> seen(table.data.size(), false);
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b) {
        const string_block& block = table.directory.blocks[b];
        for (std::uint32_t j = 0; j < block.count; ++j) {
            const std::uint64_t start = string_start(table.data, block, j);
            if (seen[start])
                continue;
            seen[start] = true;
            std::uint64_t end = 0;
            const status s = read_game_string(file, table, start, bytes, end);
            if (failed(s)) {
                error = "string " + string_context(table, b, j) + ": " + failure_text(s, file.path);
                return false;
            }
        }
    }
    return true;
}

bool parse_archive(game_file& file, std::string& error)
{
    for (int i = 0; dump_sections[i] >= 0; ++i) {
        const std::int32_t n = dump_sections[i];
        byte_source source = memory_source(file.path, file.bytes);
        loaded_section section;
        string_table& table = file.tables.emplace_back();
        table.section = n;
        table.layout = i == 0 ? directory_layout::with_ids : directory_layout::nested;
        status s = load_section(source, n, nullptr, section);
        if (!failed(s)) {
            table.file_offset = section.file_offset;
            table.data = section.bytes.data; // a view into file.bytes
            s = parse_directory(table.layout, table.data, 0, table.file_offset, nullptr, table.directory);
        }
        if (failed(s)) {
            error = "section " + std::to_string(n) + ": " + failure_text(s, file.path);
            return false;
        }
        if (!check_strings(file, table, error))
            return false;
    }
    return true;
}

bool parse_pack(game_file& file, std::string& error)
{
    // The dumper refuses what its 32-bit sizes cannot hold, and an empty file.
    if (file.bytes.empty() || file.bytes.size() >= (std::uint64_t{1} << 32)) {
        error = failure_text(fail(failure::cant_read), file.path);
        return false;
    }
    const status s = parse_pack_tables(file.bytes, nullptr, file.image);
    if (failed(s)) {
        error = failure_text(s, file.path);
        return false;
    }
    for (std::uint32_t k = 0; k < file.image.num_nodes; ++k) {
        const std::uint8_t* r = file.bytes.data() + 2 + 4 * static_cast<std::size_t>(k);
        file.records.push_back({r[0], r[1], r[2], r[3]});
    }
    string_table& table = file.tables.emplace_back();
    table.data = file.bytes;
    table.directory_start = 2 + 4 * static_cast<std::uint64_t>(file.image.num_nodes);
    table.directory = file.image.directory;
    return check_strings(file, table, error);
}

} // namespace

bool parse_game_file(std::vector<std::uint8_t> bytes, const std::string& path, file_kind kind, game_file& file,
                     std::string& error)
{
    file = game_file{};
    file.kind = kind;
    file.path = path;
    file.bytes = std::move(bytes);
    return kind == file_kind::archive ? parse_archive(file, error) : parse_pack(file, error);
}

bool load_game_file(const std::string& path, const file_kind* kind, game_file& file, std::string& error)
{
    std::vector<std::uint8_t> bytes;
    const status s = read_whole_file(path, bytes);
    if (failed(s)) {
        error = failure_text(s, path);
        return false;
    }
    if (kind != nullptr) {
        if (parse_game_file(std::move(bytes), path, *kind, file, error))
            return true;
        error = path + (*kind == file_kind::archive ? " as an archive: " : " as a pack: ") + error;
        return false;
    }
    std::string as_archive, as_pack;
    game_file other;
    const bool archive = parse_game_file(bytes, path, file_kind::archive, other, as_archive);
    const bool pack = parse_game_file(std::move(bytes), path, file_kind::pack, file, as_pack);
    if (archive && pack) {
        error = path + " reads both as an archive and as a pack: say which with --kind archive or --kind pack";
        return false;
    }
    if (archive)
        file = std::move(other);
    if (!archive && !pack)
        error = path + " is neither an archive nor a pack that the dumpers read (as an archive: " + as_archive +
                "; as a pack: " + as_pack + ")";
    return archive || pack;
}

namespace {

struct byte_range {
    std::uint64_t begin, end;
};

// The ranges of a table's directory, block headers, offset lists and strings.
std::vector<byte_range> used_ranges(const game_file& file, const string_table& table)
{
    std::vector<byte_range> used;
    const std::uint64_t entry_size = table.layout == directory_layout::with_ids ? 8 : table.layout == directory_layout::nested ? 4 : 6;
    const std::uint64_t count_size = table.layout == directory_layout::packed ? 2 : 4;
    if (table.layout == directory_layout::packed)
        used.push_back({0, table.directory_start});
    used.push_back({table.directory_start, table.directory_start + count_size + entry_size * table.directory.num_blocks});
    std::vector<bool> seen(table.data.size(), false);
    std::vector<std::uint8_t> bytes;
    for (const string_block& block : table.directory.blocks) {
        if (table.layout == directory_layout::nested)
            used.push_back({block.offset, block.offset + 4});
        used.push_back({block.strings - 2, block.strings + 2 * static_cast<std::uint64_t>(block.count)});
        for (std::uint32_t j = 0; j < block.count; ++j) {
            const std::uint64_t start = string_start(table.data, block, j);
            std::uint64_t end = 0;
            if (seen[start] || failed(read_game_string(file, table, start, bytes, end)))
                continue;
            seen[start] = true;
            used.push_back({start, end});
        }
    }
    return used;
}

} // namespace

std::uint64_t unreached_bytes(const game_file& file)
{
    std::uint64_t unreached = 0;
    for (const string_table& table : file.tables) {
        std::vector<byte_range> used = used_ranges(file, table);
        std::sort(used.begin(), used.end(), [](const byte_range& a, const byte_range& b) { return a.begin < b.begin; });
        std::uint64_t covered = 0, reach = 0;
        for (const byte_range& r : used) {
            const std::uint64_t begin = std::max(r.begin, reach);
            if (r.end > begin)
                covered += r.end - begin;
            reach = std::max(reach, r.end);
        }
        unreached += table.data.size() - covered;
    }
    return unreached;
}
