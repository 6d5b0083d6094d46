#include "format/game_file.h"

#include "format/archive/game_text.h"
#include "format/pack/pack_text.h"

status parse_game_file(std::vector<std::uint8_t> bytes, const std::string& path, file_kind kind, game_file& file)
{
    file = game_file{};
    file.path = path;
    file.bytes = std::move(bytes); // the records view the moved buffer
    if (kind == file_kind::archive)
        return parse_archive_file(file.bytes, file.parsed.emplace<archive_file>());
    return parse_pack_file(file.bytes, file.parsed.emplace<pack_file>());
}

status load_game_file(const std::string& path, std::optional<file_kind> kind, game_file& file, kind_failures& why)
{
    why = kind_failures{};
    std::vector<std::uint8_t> bytes;
    const status read = read_whole_file(path, bytes);
    if (failed(read))
        return read;
    if (kind) {
        const status s = parse_game_file(std::move(bytes), path, *kind, file);
        (*kind == file_kind::archive ? why.as_archive : why.as_pack) = s;
        return failed(s) ? fail(failure::not_a_game_file) : s;
    }
    game_file other;
    why.as_archive = parse_game_file(bytes, path, file_kind::archive, other);
    why.as_pack = parse_game_file(std::move(bytes), path, file_kind::pack, file);
    if (!failed(why.as_archive) && !failed(why.as_pack))
        return fail(failure::both_kinds);
    if (!failed(why.as_archive))
        file = std::move(other);
    if (failed(why.as_archive) && failed(why.as_pack))
        return fail(failure::not_a_game_file);
    return {};
}

std::string load_failure_text(const status& s, const kind_failures& why, std::string_view path,
                              std::optional<file_kind> kind)
{
    const auto text = [&](const status& one) { return failure_place(one) + failure_text(one, path); };
    if (s.code != failure::not_a_game_file)
        return failure_text(s, path);
    if (kind)
        return std::string(path) + " as " + (*kind == file_kind::archive ? "an archive: " : "a pack: ") +
               text(*kind == file_kind::archive ? why.as_archive : why.as_pack);
    return std::string(path) + " is neither an archive nor a pack that the dumpers read (as an archive: " +
           text(why.as_archive) + "; as a pack: " + text(why.as_pack) + ")";
}

file_kind kind_of(const game_file& file)
{
    return std::holds_alternative<archive_file>(file.parsed) ? file_kind::archive : file_kind::pack;
}

std::string_view kind_name(file_kind kind) { return kind == file_kind::archive ? "archive" : "pack"; }

const std::vector<string_table>& tables_of(const game_file& file)
{
    if (const auto* archive = std::get_if<archive_file>(&file.parsed))
        return archive->tables;
    return std::get<pack_file>(file.parsed).tables;
}

void string_bytes(const game_file& file, const string_table& table, std::uint64_t start,
                  std::vector<std::uint8_t>& bytes)
{
    if (std::holds_alternative<archive_file>(file.parsed))
        archive_string_bytes(table, start, bytes);
    else
        pack_string_bytes(std::get<pack_file>(file.parsed).image, start, bytes); // decoded once already: cannot fail
}

void start_decoding(const game_file& file, string_decoder& decoder)
{
    decoder = string_decoder{};
    const auto* pack = std::get_if<pack_file>(&file.parsed);
    if (pack && pack_form_of(pack->image) == pack_form::huffman && pack->image.data.size() >= huff_table_threshold)
        build_huff_table(pack->image, decoder.huffman);
}

void decoded_bytes(const game_file& file, const string_table& table, std::uint64_t start, const string_decoder& decoder,
                   std::vector<std::uint8_t>& bytes)
{
    if (const auto* pack = std::get_if<pack_file>(&file.parsed))
        pack_string_bytes(pack->image, decoder.huffman, start, bytes); // decoded once already: cannot fail
    else
        archive_string_bytes(table, start, bytes);
}

void decode_string_text(const game_file& file, const char_table& codes, const string_table& table,
                        std::uint64_t start, string_decoder& decoder, std::string& text)
{
    decoded_bytes(file, table, start, decoder, decoder.bytes);
    if (std::holds_alternative<pack_file>(file.parsed))
        pack_text_of(codes, decoder.bytes, text);
    else if (codes.by_code.empty())
        game_text_of_bytes(decoder.bytes, text);
    else
        archive_text(codes, decoder.bytes, text);
}

status read_char_table(const game_file& file, std::string_view bytes, char_table& table)
{
    const status grammar = parse_char_table(bytes, table);
    const auto* pack = std::get_if<pack_file>(&file.parsed);
    const status form = pack ? check_pack_table(pack_form_of(pack->image), table) : check_archive_table(table);
    return finish_char_table(grammar, form, table);
}

void write_char_table(const game_file& file, text_output& out)
{
    if (const auto* pack = std::get_if<pack_file>(&file.parsed))
        write_pack_table(pack_form_of(pack->image), out);
    else
        write_archive_table(out);
}

void string_text(const game_file& file, const char_table& table, std::span<const std::uint8_t> bytes,
                 std::string& text)
{
    if (std::holds_alternative<archive_file>(file.parsed))
        archive_text(table, bytes, text);
    else
        pack_text_of(table, bytes, text);
}

void stored_bytes(const game_file& file, const char_table& table, std::string_view text, coded_text& coded)
{
    if (const auto* pack = std::get_if<pack_file>(&file.parsed))
        pack_stored_bytes(pack_form_of(pack->image), table, text, coded);
    else
        game_stored_bytes(table, text, coded);
}

status check_for_rebuild(const game_file& file)
{
    if (const auto* archive = std::get_if<archive_file>(&file.parsed))
        return check_archive_index(*archive);
    return {};
}

status rebuild_game_file(const game_file& file, std::span<new_text> texts, rebuilt_file& result)
{
    if (const auto* archive = std::get_if<archive_file>(&file.parsed))
        return rebuild_archive(*archive, texts, result);
    return rebuild_pack(std::get<pack_file>(file.parsed), texts, result);
}

status check_rebuilt(const game_file& file, std::span<const new_text> texts, const game_file& rebuilt)
{
    const std::vector<string_table>& old_tables = tables_of(file);
    const std::vector<string_table>& new_tables = tables_of(rebuilt);
    if (kind_of(rebuilt) != kind_of(file) || new_tables.size() != old_tables.size())
        return fail(failure::other_tables);
    std::vector<std::uint8_t> want, got;
    string_decoder old_decoder, new_decoder;
    start_decoding(file, old_decoder);
    start_decoding(rebuilt, new_decoder);
    for (std::size_t t = 0; t < old_tables.size(); ++t) {
        const string_table& a = old_tables[t];
        const string_table& b = new_tables[t];
        const std::span<const new_text> changes = texts_of_table(texts, t);
        if (a.directory.num_blocks != b.directory.num_blocks)
            return fail(failure::other_block_count);
        std::size_t next = 0;
        for (std::uint32_t e = 0; e < a.directory.num_blocks; ++e) {
            const string_block& old_block = a.directory.blocks[e];
            const string_block& new_block = b.directory.blocks[e];
            if (old_block.count != new_block.count || old_block.id != new_block.id)
                return status{.code = failure::block_changed, .section = a.section, .block = e};
            for (std::uint32_t j = 0; j < old_block.count; ++j) {
                if (next < changes.size() && changes[next].block == e && changes[next].index == j)
                    want = changes[next++].bytes;
                else
                    decoded_bytes(file, a, string_start(a.data, old_block, j), old_decoder, want);
                decoded_bytes(rebuilt, b, string_start(b.data, new_block, j), new_decoder, got);
                if (got != want)
                    return status{.code = failure::string_changed, .section = a.section, .block = e, .string = j};
            }
        }
    }
    const auto* archive = std::get_if<archive_file>(&file.parsed);
    return archive ? check_copied_sections(*archive, std::get<archive_file>(rebuilt.parsed)) : status{};
}
