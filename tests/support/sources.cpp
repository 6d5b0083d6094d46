#include "tests/support/sources.h"

#include <fstream>
#include <iterator>
#include <map>

#include "format/archive/archive.h"
#include "format/archive/game_text.h"
#include "format/notation.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "format/pack/xor_chain.h"
#include "format/pack/pack_text.h"

namespace {

struct source_block {
    std::uint32_t id = 0;
    std::vector<std::vector<std::uint8_t>> texts; // text bytes, without the end mark
};

// The blocks of each section (packs: section 0) of a source; `archive` chooses the
// text encoding and allows section headers.
bool read_source(std::string_view source, bool archive, std::map<int, std::vector<source_block>>& sections,
                 std::string& error)
{
    int section = archive ? -1 : 0;
    int line_number = 0;
    while (!source.empty()) {
        const std::size_t nl = source.find('\n');
        std::string_view line = source.substr(0, nl);
        source.remove_prefix(nl == std::string_view::npos ? source.size() : nl + 1);
        ++line_number;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        error = "line " + std::to_string(line_number) + ": ";
        if (line.empty() || line[0] == '#')
            continue;
        if (archive && line.starts_with("[section ")) {
            section = std::stoi(std::string(line.substr(9)));
            if (section != 8 && section != 43)
                return error += "only sections 8 and 43 hold strings", false;
            sections[section];
        } else if (line.starts_with("[block")) {
            if (section < 0)
                return error += "a block before the first [section]", false;
            source_block block;
            if (line.size() > 7)
                block.id = static_cast<std::uint32_t>(std::stoul(std::string(line.substr(7))));
            sections[section].push_back(block);
        } else if (line[0] == '"') {
            std::string text;
            std::size_t at = 0;
            if (section < 0 || sections[section].empty())
                return error += "a string before the first [block]", false;
            if (!read_quoted(line, at, text) || at != line.size())
                return error += "a bad quoted string at column " + std::to_string(at + 1), false;
            std::vector<std::uint8_t> bytes;
            const text_fault fault = archive ? game_bytes_of(text, bytes, at) : pack_bytes_of(text, bytes, at);
            if (fault != text_fault::none)
                return error += "no code for the text at character " + std::to_string(character_column(text, at)), false;
            sections[section].back().texts.push_back(bytes);
        } else {
            return error += "not a section, block or quoted string", false;
        }
    }
    error.clear();
    return true;
}

// Each block's strings, one run per string, stored as `stored` gives them.
directory_plan plan_of(const std::vector<source_block>& blocks, const std::vector<std::vector<std::uint8_t>>& stored)
{
    directory_plan plan;
    for (const source_block& block : blocks) {
        plan.entries.push_back({block.id, static_cast<std::uint32_t>(plan.blocks.size())});
        block_plan& b = plan.blocks.emplace_back();
        for (std::size_t k = 0; k < block.texts.size(); ++k) {
            b.strings.push_back({static_cast<std::uint32_t>(plan.runs.size()), 0});
            plan.runs.push_back(stored[plan.runs.size()]);
        }
    }
    return plan;
}

bool report(const status& s, std::string& error)
{
    error = failure_text(s, "");
    return false;
}

} // namespace

bool archive_from_source(std::string_view source, std::vector<std::uint8_t>& out, std::string& error)
{
    std::map<int, std::vector<source_block>> blocks;
    if (!read_source(source, true, blocks, error))
        return false;
    std::vector<std::vector<std::uint8_t>> sections(44);
    for (int n = 0; n < 44; ++n) {
        if (n != 8 && n != 43) {
            sections[static_cast<std::size_t>(n)] = {'S', 'E', 'C', static_cast<std::uint8_t>(n)};
            continue;
        }
        std::vector<std::vector<std::uint8_t>> stored;
        for (const source_block& block : blocks[n])
            for (std::vector<std::uint8_t> text : block.texts) {
                text.push_back(game_end_byte);
                stored.push_back(text);
            }
        const status s = write_directory(n == 8 ? directory_layout::with_ids : directory_layout::nested,
                                         plan_of(blocks[n], stored), sections[static_cast<std::size_t>(n)]);
        if (failed(s))
            return report(s, error);
    }
    out.clear();
    const status s = write_archive(sections, 1, {}, out);
    return failed(s) ? report(s, error) : true;
}

bool pack_from_source(std::string_view source, bool huffman, std::vector<std::uint8_t>& out, std::string& error)
{
    std::map<int, std::vector<source_block>> sections;
    if (!read_source(source, false, sections, error))
        return false;
    const std::vector<source_block>& blocks = sections[0];
    std::vector<node_record> records;
    code_table table;
    if (huffman) {
        std::uint64_t counts[256] = {};
        for (const source_block& block : blocks)
            for (const std::vector<std::uint8_t>& text : block.texts)
                count_symbols(counts, text);
        const status s = build_code_tree(counts, records);
        if (failed(s))
            return report(s, error);
        code_words(records, table);
    }
    std::vector<std::vector<std::uint8_t>> stored;
    for (const source_block& block : blocks)
        for (const std::vector<std::uint8_t>& text : block.texts) {
            std::vector<std::uint8_t>& s = stored.emplace_back();
            if (!huffman) {
                xor_encode(text, s);
                continue;
            }
            const status st = huffman_encode(table, text, s);
            if (failed(st))
                return report(st, error);
        }
    out.clear();
    write_node_table(records, out);
    const status s = write_directory(directory_layout::packed, plan_of(blocks, stored), out);
    return failed(s) ? report(s, error) : true;
}

bool read_file(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && in.is_open();
}

bool write_file(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool write_examples(const std::string& dir, const std::string& out_dir, std::string& error)
{
    const char* names[3][2] = {{"kestra.txt", "KESTRA"}, {"strings_pak.txt", "STRINGS.PAK"}, {"xor_pak.txt", "XOR.PAK"}};
    for (int k = 0; k < 3; ++k) {
        std::string source;
        if (!read_file(dir + "/" + names[k][0], source))
            return error = "can't read " + dir + "/" + names[k][0], false;
        std::vector<std::uint8_t> bytes;
        const bool made = k == 0 ? archive_from_source(source, bytes, error) : pack_from_source(source, k == 1, bytes, error);
        if (!made)
            return error = std::string(names[k][0]) + ": " + error, false;
        if (!write_file(out_dir + "/" + names[k][1], std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
            return error = "can't write " + out_dir + "/" + names[k][1], false;
    }
    return true;
}
