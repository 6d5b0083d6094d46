#include "tests/support/sources.h"

#include <fstream>
#include <iterator>

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
using source_section = std::vector<source_block>;

// The blocks of sections 8 and 43 (archives) or of section 0 (packs) of a source.
bool read_source(std::string_view source, bool archive, source_section (&sections)[44], std::string& error)
{
    int section = archive ? -1 : 0;
    for (int line_number = 1; !source.empty(); ++line_number) {
        std::string_view line = source.substr(0, source.find('\n'));
        source.remove_prefix(std::min(line.size() + 1, source.size()));
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        error = "line " + std::to_string(line_number) + ": ";
        std::string text;
        std::size_t at = 0;
        if (line.empty() || line[0] == '#')
            continue;
        if (archive && line.starts_with("[section ")) {
            section = std::stoi(std::string(line.substr(9)));
            if (section != 8 && section != 43)
                return error += "only sections 8 and 43 hold strings", false;
        } else if (line.starts_with("[block")) {
            if (section < 0)
                return error += "a block before the first [section]", false;
            const unsigned long id = line.size() > 7 ? std::stoul(std::string(line.substr(7))) : 0;
            sections[section].push_back({static_cast<std::uint32_t>(id), {}});
        } else if (line[0] != '"') {
            return error += "not a section, block or quoted string", false;
        } else if (section < 0 || sections[section].empty()) {
            return error += "a string before the first [block]", false;
        } else if (!read_quoted(line, at, text) || at != line.size()) {
            return error += "a bad quoted string at column " + std::to_string(at + 1), false;
        } else {
            std::vector<std::uint8_t>& b = sections[section].back().texts.emplace_back();
            if ((archive ? game_bytes_of(text, b, at) : pack_bytes_of(text, b, at)) != text_fault::none)
                return error += "no code for the text at character " + std::to_string(character_column(text, at)),
                       false;
        }
    }
    error.clear();
    return true;
}

// The directory of `blocks`, one run per string, each stored as `store` makes it.
template <typename Store>
status write_blocks(directory_layout layout, const source_section& blocks, Store store,
                    std::vector<std::uint8_t>& out)
{
    directory_plan plan;
    for (const source_block& block : blocks) {
        plan.entries.push_back({block.id, static_cast<std::uint32_t>(plan.blocks.size())});
        block_plan& b = plan.blocks.emplace_back();
        for (const std::vector<std::uint8_t>& text : block.texts) {
            b.strings.push_back({static_cast<std::uint32_t>(plan.runs.size()), 0});
            if (const status s = store(text, plan.runs.emplace_back()); failed(s))
                return s;
        }
    }
    return write_directory(layout, plan, out);
}

bool report(const status& s, std::string& error)
{
    error = failure_text(s, "");
    return !failed(s);
}

} // namespace

bool archive_from_source(std::string_view source, std::vector<std::uint8_t>& out, std::string& error)
{
    source_section blocks[44];
    if (!read_source(source, true, blocks, error))
        return false;
    std::vector<std::vector<std::uint8_t>> sections(44);
    const auto with_end = [](const std::vector<std::uint8_t>& text, std::vector<std::uint8_t>& stored) {
        stored = text;
        stored.push_back(game_end_byte);
        return status{};
    };
    for (std::uint8_t n = 0; n < 44; ++n) {
        sections[n] = {'S', 'E', 'C', n};
        if (n == 8 || n == 43) {
            sections[n].clear();
            const auto layout = n == 8 ? directory_layout::with_ids : directory_layout::nested;
            if (const status s = write_blocks(layout, blocks[n], with_end, sections[n]); failed(s))
                return report(s, error);
        }
    }
    out.clear();
    return report(write_archive(sections, 1, {}, out), error);
}

bool pack_from_source(std::string_view source, bool huffman, std::vector<std::uint8_t>& out, std::string& error)
{
    source_section sections[44];
    if (!read_source(source, false, sections, error))
        return false;
    std::vector<node_record> records;
    code_table table;
    if (huffman) {
        std::uint64_t counts[256] = {};
        for (const source_block& block : sections[0])
            for (const std::vector<std::uint8_t>& text : block.texts)
                count_symbols(counts, text);
        if (const status s = build_code_tree(counts, records); failed(s))
            return report(s, error);
        code_words(records, table);
    }
    out.clear();
    write_node_table(records, out);
    const auto encode = [&](const std::vector<std::uint8_t>& text, std::vector<std::uint8_t>& stored) {
        if (huffman)
            return huffman_encode(table, text, stored);
        xor_encode(text, stored);
        return status{};
    };
    return report(write_blocks(directory_layout::packed, sections[0], encode, out), error);
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
    const char* names[3][2] = {
        {"kestra.txt", "KESTRA"}, {"strings_pak.txt", "STRINGS.PAK"}, {"xor_pak.txt", "XOR.PAK"}};
    for (int k = 0; k < 3; ++k) {
        std::string source;
        std::vector<std::uint8_t> bytes;
        if (!read_file(dir + "/" + names[k][0], source))
            return error = "can't read " + dir + "/" + names[k][0], false;
        if (k == 0 ? !archive_from_source(source, bytes, error) : !pack_from_source(source, k == 1, bytes, error))
            return error = std::string(names[k][0]) + ": " + error, false;
        if (!write_file(out_dir + "/" + names[k][1], std::string(bytes.begin(), bytes.end())))
            return error = "can't write " + out_dir + "/" + names[k][1], false;
    }
    return true;
}
