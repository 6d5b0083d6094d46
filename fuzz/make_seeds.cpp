// Writes the fuzz seed corpora, built from source texts and with the product's writers:
//   make_seeds OUT_DIR [EXAMPLES_DIR]
// fills OUT_DIR/archive and OUT_DIR/pack with valid (and a few nearly valid) inputs of
// every shape; with EXAMPLES_DIR the bundled examples are added too.
//   make_seeds --worst-archive N FILE | --worst-pack N FILE
// writes an input of about N bytes that makes as much output as the format allows
// (many blocks sharing one long list of one long string), to measure the slowest
// legitimate input of a given size.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "format/archive/archive.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "tests/support/sources.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<std::uint8_t>;

bool save(const fs::path& path, const bytes& b)
{
    if (write_file(path.string(), std::string_view(reinterpret_cast<const char*>(b.data()), b.size())))
        return true;
    std::fprintf(stderr, "make_seeds: can't write %s\n", path.string().c_str());
    return false;
}

bool save_source(const fs::path& path, std::string_view source, int kind)
{
    bytes b;
    std::string error;
    const bool made = kind == 0 ? archive_from_source(source, b, error) : pack_from_source(source, kind == 1, b, error);
    if (!made) {
        std::fprintf(stderr, "make_seeds: %s: %s\n", path.string().c_str(), error.c_str());
        return false;
    }
    return save(path, b);
}

// A directory of `blocks` entries that all name one block of `count` strings, which
// all start at one stored string: the most output per byte that the format allows.
bytes shared_section(directory_layout layout, std::uint32_t blocks, std::uint32_t count, const bytes& run,
                     bytes prefix = {})
{
    directory_plan plan;
    for (std::uint32_t i = 0; i < blocks; ++i)
        plan.entries.push_back({i, 0});
    plan.blocks.push_back({std::vector<string_ref>(count, string_ref{0, 0})});
    plan.runs.push_back(run);
    write_directory(layout, plan, prefix);
    return prefix;
}

// An archive with only sections 8 and 43; the index alone is 180 bytes.
bytes archive_with(const bytes& section8, const bytes& section43)
{
    std::vector<bytes> sections(44);
    sections[8] = section8;
    sections[43] = section43;
    bytes out;
    write_archive(sections, 1, {}, out);
    return out;
}

// A string of line breaks, the most output per byte, and its end byte.
bytes line_breaks(std::uint32_t length)
{
    bytes s;
    for (std::uint32_t k = 0; k + 2 < length; k += 2)
        s.insert(s.end(), {0x5C, 0x6E});
    s.push_back(0x1F);
    return s;
}

bytes worst_archive(std::uint32_t size)
{
    const std::uint32_t each = (size - 180) / 2 - 16;
    const std::uint32_t count = std::max(1u, each / 6), length = std::max(2u, each / 3);
    return archive_with(shared_section(directory_layout::with_ids, std::max(1u, each / 24), count, line_breaks(length)),
                        shared_section(directory_layout::nested, std::max(1u, each / 12), count, line_breaks(length)));
}

// A pack whose blocks all name one list of strings that all start at one long string
// of `symbol`; with its one-bit code each stored bit is one text byte.
bytes worst_pack(std::uint32_t size, bool huffman, std::uint8_t symbol)
{
    bytes table;
    if (huffman) {
        const node_record records[] = {{symbol, 2, 0xFF, 0xFF}, {0x7C, 2, 0xFF, 0xFF}, {0, 0xFF, 0, 1}};
        write_node_table(records, table);
    } else {
        write_node_table({}, table);
    }
    const std::uint32_t budget = size - static_cast<std::uint32_t>(table.size()) - 2;
    const std::uint32_t length = std::max(2u, budget / 3);
    bytes run;
    for (std::uint32_t k = 0; k + 1 < length; ++k)
        run.push_back(huffman ? 0x00 : static_cast<std::uint8_t>(k == 0 ? symbol : 0));
    run.push_back(huffman ? 0x80 : static_cast<std::uint8_t>(symbol ^ 0x7C)); // the end mark
    return shared_section(directory_layout::packed, std::max(1u, budget / 18), std::max(1u, budget / 6), run, table);
}

constexpr std::string_view rendering = R"(
[section 8]
[block 1001]
"ようこそ、旅の者よ。ここは王国の東の町だ。"
"宿屋はこの道の先にある。\n今夜はゆっくり休むといい。"
"ガギグゲゴ パピプペポ 々"
"{01 79}{85}{A0}{04 FF}{00}{0A}{7F}{1E}"
"\\\n{01 5C}n{5C}{6E}{01 00}"
"{01 1F}{02 1F}{03 00}{04 A8}"
""
"Lv 12 HP 340/340 MP 25/25"
[block 1002]
[section 43]
[block]
"ようこそ、旅の者よ。"
"{01 79}{85}{A0}\n{04 FF}{00}{0A}{7F}{1E}"
"\\\n{01 5C}n{01 1F}"
[block]
)";

bool archive_seeds(const fs::path& dir)
{
    std::string many = "[section 8]\n";
    for (std::uint32_t i = 0; i < 60; ++i) {
        many += "[block " + std::to_string(0x7FFFFFF0u + i * 3) + "]\n";
        for (std::uint32_t j = 0; j < i % 4; ++j)
            many += "\"" + std::string(1 + j, static_cast<char>('a' + i % 26)) + "\"\n";
    }
    const bytes empty = {0, 0, 0, 0};
    bytes unterminated, lead_at_end;
    write_directory(directory_layout::with_ids, {{{1, 0}}, {{{{0, 0}, {1, 0}}}}, {{'O', 'K', 0x1F}, {'A', 'B'}}, {}}, unterminated);
    write_directory(directory_layout::nested, {{{0, 0}}, {{{{0, 0}, {1, 0}}}}, {{'X', 0x1F}, {'A', 0x02}}, {}}, lead_at_end);
    return save(dir / "empty_sections", archive_with(empty, empty)) &&
           save_source(dir / "small", "[section 8]\n[block 5]\n\"AB\"\n[section 43]\n[block]\n\"CD\"\n", 0) &&
           save_source(dir / "rendering", rendering, 0) &&
           save_source(dir / "many_blocks", many + "[section 43]\n" + many.substr(12), 0) &&
           save(dir / "shared_lists", archive_with(shared_section(directory_layout::with_ids, 6, 5, line_breaks(9)),
                                                   shared_section(directory_layout::nested, 6, 5, line_breaks(9)))) &&
           save(dir / "unterminated", archive_with(unterminated, empty)) &&
           save(dir / "lead_at_end", archive_with(empty, lead_at_end));
}

bool pack_seeds(const fs::path& dir)
{
    // Deep tree: doubling counts give a code word one bit longer per symbol.
    std::uint64_t counts[256] = {};
    for (int k = 0; k < 40; ++k)
        counts['!' + k] = std::uint64_t{1} << k;
    counts[0x7C] = 1;
    counts[0x0A] = 2;
    std::vector<node_record> deep;
    code_table table;
    build_code_tree(counts, deep);
    code_words(deep, table);
    directory_plan plan{{{300, 0}, {301, 1}}, {{}, {}}, {}, {}};
    for (std::string_view t : {"!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGH", "H\nG\n", "!\n", ""}) {
        plan.blocks[0].strings.push_back({static_cast<std::uint32_t>(plan.runs.size()), 0});
        huffman_encode(table, std::span(reinterpret_cast<const std::uint8_t*>(t.data()), t.size()), plan.runs.emplace_back());
    }
    bytes deep_file, root_end, one_child, lead_last;
    write_node_table(deep, deep_file);
    write_directory(directory_layout::packed, plan, deep_file);
    const node_record end_root[] = {{0x7C, 0xFF, 0xFF, 0xFF}};
    write_node_table(end_root, root_end);
    write_directory(directory_layout::packed, {{{1, 0}}, {{{{0, 0}, {1, 0}}}}, {{0x00}, {0xFF}}, {}}, root_end);
    const node_record one[] = {{'x', 2, 0xFF, 0xFF}, {0x7C, 3, 0xFF, 0xFF}, {0, 3, 0, 0xFF}, {0, 0xFF, 2, 1}};
    write_node_table(one, one_child);
    write_directory(directory_layout::packed, {{{0, 0}}, {{{{0, 0}, {1, 0}, {2, 0}}}}, {{0x23, 0x00}, {0x80}, {0x40}}, {}}, one_child);
    write_node_table({}, lead_last);
    write_directory(directory_layout::packed, {{{0, 0}}, {{{{0, 0}}}}, {{0x82}}, {}}, lead_last);
    return save(dir / "empty", {0, 0, 0, 0}) &&
           save_source(dir / "huffman_shallow", "[block 7]\n\"aaaa\"\n\"\"\n\"a\"\n", 1) &&
           save(dir / "huffman_deep", deep_file) &&
           save_source(dir / "huffman_blocks",
                       "[block 100]\n\"Welcome to Harth, traveller.\"\n\"Old Maren: \\\"dry\\nsince\\\"\"\n"
                       "[block 101]\n\"A key.\\nIt is cold.\\n\"\n\"\"\n[block 102]\n\"HP 120/120  MP 34/40\"\n", 1) &&
           save(dir / "huffman_root_end_mark", root_end) && save(dir / "huffman_one_child", one_child) &&
           save_source(dir / "xor_sjis",
                       "[block 1]\n\"あい。\"\n\"ポ|\"\n\"Aｱﾟ{80}{FD}\"\n\"line\\nnext\\n\"\n\"\"\n\"{E0 40}{FC FC}\"\n"
                       "[block 2]\n[block 3]\n\"x\"\n", 2) &&
           save_source(dir / "xor_bad_trail", "[block 0]\n\"ok\"\n\"{82 7F}\"\n", 2) &&
           save(dir / "xor_lead_last", lead_last) && save(dir / "shared_huffman", worst_pack(160, true, 'A')) &&
           save(dir / "shared_xor", worst_pack(160, false, '\n'));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && (std::string(argv[1]) == "--worst-archive" || std::string(argv[1]) == "--worst-pack")) {
        const auto size = static_cast<std::uint32_t>(std::stoul(argv[2]));
        if (size < 200) {
            std::fputs("make_seeds: size too small\n", stderr);
            return 1;
        }
        return save(argv[3], std::string(argv[1]) == "--worst-archive" ? worst_archive(size) : worst_pack(size, true, 0x0A)) ? 0 : 1;
    }
    if (argc < 2 || argc > 3) {
        std::fputs("usage: make_seeds OUT_DIR [EXAMPLES_DIR]\n"
                   "       make_seeds --worst-archive|--worst-pack SIZE FILE\n",
                   stderr);
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out / "archive");
    fs::create_directories(out / "pack");
    bool made = archive_seeds(out / "archive") && pack_seeds(out / "pack");
    if (made && argc == 3) {
        std::string error;
        made = write_examples(argv[2], (out / "archive").string(), error);
        if (made) {
            fs::rename(out / "archive" / "STRINGS.PAK", out / "pack" / "example_huffman");
            fs::rename(out / "archive" / "XOR.PAK", out / "pack" / "example_xor");
        } else {
            std::fprintf(stderr, "make_seeds: %s\n", error.c_str());
        }
    }
    return made ? 0 : 1;
}
