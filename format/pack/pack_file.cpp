// A pack as kx_text reads and writes it: parsed and every string decoded as kx_strings
// would, and written anew with the old code tree or a new one.
#include <algorithm>

#include "format/le.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "format/pack/xor_chain.h"
#include "format/pack/pack_text.h"

status parse_pack_file(std::span<const std::uint8_t> bytes, pack_file& file)
{
    file = pack_file{};
    // The dumper refuses what its 32-bit sizes cannot hold, and an empty file.
    if (bytes.empty() || bytes.size() >= offset_limit)
        return fail(failure::cant_read);
    status s = parse_pack_tables(bytes, nullptr, file.image);
    if (failed(s))
        return s;
    string_table& table = file.tables.emplace_back();
    table.data = bytes;
    table.directory_start = 2 + 4 * static_cast<std::uint64_t>(file.image.num_nodes);
    table.directory = file.image.directory;
    huff_table code_words;
    if (pack_form_of(file.image) == pack_form::huffman && bytes.size() >= huff_table_threshold)
        build_huff_table(file.image, code_words);
    std::vector<std::uint8_t> text;
    for (const first_place& p : distinct_strings(table)) {
        std::uint64_t end = 0;
        s = pack_string_bytes(file.image, code_words, p.start, text, &end);
        if (failed(s))
            return at_string(s, -1, p.block, p.index);
        table.strings.push_back({p.start, end});
    }
    std::sort(table.strings.begin(), table.strings.end(),
              [](const string_extent& a, const string_extent& b) { return a.start < b.start; });
    return {};
}

namespace {

// Which of the table's strings some place keeps: one without a new text.
std::vector<std::uint8_t> kept_strings(const string_table& table, std::span<const new_text> texts)
{
    std::vector<std::uint8_t> kept(table.strings.size(), 0);
    std::size_t next = 0;
    for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b)
        for (std::uint32_t j = 0; j < table.directory.blocks[b].count; ++j) {
            if (next < texts.size() && texts[next].block == b && texts[next].index == j) {
                ++next;
                continue;
            }
            const string_extent& e = extent_at(table, string_start(table.data, table.directory.blocks[b], j));
            kept[static_cast<std::size_t>(&e - table.strings.data())] = 1;
        }
    return kept;
}

// The code of a rebuilt Huffman pack: the old tree when it is sound and has a code word
// for every byte of the new texts; otherwise a tree built from all the strings written:
// the new texts and each kept string once.
status choose_code(const pack_file& file, std::span<const new_text> texts, const std::vector<std::uint8_t>& kept,
                   std::vector<node_record>& records, code_table& code, bool& new_tree)
{
    records = file.image.records;
    code_words(records, code);
    bool covered = is_sound_tree(records) && code.has[end_mark];
    for (const new_text& t : texts)
        for (std::uint8_t byte : t.bytes)
            covered = covered && code.has[byte];
    new_tree = !covered;
    if (covered)
        return {};
    std::uint64_t counts[256] = {};
    for (const new_text& t : texts)
        count_symbols(counts, t.bytes);
    const string_table& table = file.tables[0];
    std::vector<std::uint8_t> text;
    for (std::size_t k = 0; k < table.strings.size(); ++k)
        if (kept[k]) {
            pack_string_bytes(file.image, table.strings[k].start, text); // decoded once already: cannot fail
            count_symbols(counts, text);
        }
    const status s = build_code_tree(counts, records);
    if (!failed(s))
        code_words(records, code);
    return s;
}

// The stored bytes of a text in the pack's form.
status encode_text(pack_form form, const code_table& code, std::span<const std::uint8_t> text,
                   std::vector<std::uint8_t>& stored)
{
    stored.clear();
    if (form == pack_form::xor_chain) {
        xor_encode(text, stored);
        return {};
    }
    return huffman_encode(code, text, stored);
}

} // namespace

status rebuild_pack(const pack_file& file, std::span<new_text> texts, rebuilt_file& result)
{
    result = rebuilt_file{};
    const string_table& table = file.tables[0];
    result.dropped = unreached_bytes(table);
    const pack_form form = pack_form_of(file.image);
    std::vector<node_record> records; // none in the exclusive-or form
    code_table code;
    const std::vector<std::uint8_t> kept = kept_strings(table, texts);
    if (form == pack_form::huffman) {
        const status s = choose_code(file, texts, kept, records, code, result.new_tree);
        if (failed(s))
            return s;
    }
    for (new_text& t : texts) {
        status s = encode_text(form, code, t.bytes, t.stored);
        if (failed(s)) {
            s.block = t.block;
            s.string = t.index;
            return s;
        }
    }
    // With a new tree every kept string is coded anew.
    std::vector<std::vector<std::uint8_t>> recoded(result.new_tree ? table.strings.size() : 0);
    std::vector<std::uint8_t> text;
    for (std::size_t k = 0; k < recoded.size(); ++k) {
        if (!kept[k])
            continue;
        pack_string_bytes(file.image, table.strings[k].start, text);
        if (const status s = encode_text(form, code, text, recoded[k]); failed(s))
            return s;
    }
    write_node_table(records, result.bytes);
    const status s = write_string_table(table, texts, recoded, result.bytes);
    if (failed(s))
        return s;
    // The dumper reads files below 4 GiB only.
    if (result.bytes.size() >= offset_limit)
        return status{.code = failure::too_large, .size = result.bytes.size()};
    return {};
}
