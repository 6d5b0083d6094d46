// Writes the fuzz seed corpora, built with the test-support builders:
//   make_seeds OUT_DIR [EXAMPLES_DIR]
// fills OUT_DIR/archive and OUT_DIR/pack with valid (and a few nearly valid) inputs of
// every shape; with EXAMPLES_DIR the bundled example sources are added too.
//   make_seeds --worst-archive N FILE | --worst-pack N FILE
// writes an input of at most N bytes that makes as much output as the format allows
// (many blocks sharing one long list of one long string), to measure the slowest
// legitimate input of a given size.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"
#include "tests/support/pack_builder.h"

namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("can't write " + path.string());
}

std::string read_file(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("can't read " + path.string());
    std::stringstream s;
    s << file.rdbuf();
    return s.str();
}

// Sections 8 and 43 at their index entries, the others empty: the index alone is 180
// bytes, so every archive seed has room for both sections.
byte_string archive_with(const byte_string& section8, const byte_string& section43)
{
    std::vector<byte_string> sections(44);
    sections[8] = section8;
    sections[43] = section43;
    return build_archive(sections);
}

// A section of `blocks` blocks that all name one block of `count` strings, which all
// start at one string of `length` bytes: the most output per byte that layout A allows.
byte_string shared_list_section(std::uint32_t blocks, std::uint32_t count, std::uint32_t length)
{
    byte_string s;
    put_u32(s, blocks);
    const std::uint32_t block_at = 4 + 8 * blocks;
    for (std::uint32_t i = 0; i < blocks; ++i) {
        put_u32(s, i);
        put_u32(s, block_at);
    }
    put_u16(s, count);
    for (std::uint32_t j = 0; j < count; ++j)
        put_u16(s, 0);
    for (std::uint32_t k = 0; k + 2 < length; k += 2) // a line break: the most output per byte
        s.insert(s.end(), {0x5C, 0x6E});
    s.push_back(0x1F);
    return s;
}

// The same for layout B: every entry names one block whose inner offset is 4.
byte_string shared_list_nested(std::uint32_t blocks, std::uint32_t count, std::uint32_t length)
{
    byte_string s;
    put_u32(s, blocks);
    const std::uint32_t block_at = 4 + 4 * blocks;
    for (std::uint32_t i = 0; i < blocks; ++i)
        put_u32(s, block_at);
    put_u32(s, 4);
    put_u16(s, count);
    for (std::uint32_t j = 0; j < count; ++j)
        put_u16(s, static_cast<std::uint32_t>(2 + 2 * count));
    for (std::uint32_t k = 0; k + 2 < length; k += 2)
        s.insert(s.end(), {0x5C, 0x6E});
    s.push_back(0x1F);
    return s;
}

// Split of `budget` bytes between directory entries, offset list and string that
// maximises blocks * count * length for entries of `entry` bytes.
struct shared_shape {
    std::uint32_t blocks, count, length;
};
shared_shape worst_shape(std::uint32_t budget, std::uint32_t entry)
{
    return {std::max<std::uint32_t>(1, budget / (3 * entry)), std::max<std::uint32_t>(1, budget / 6),
            std::max<std::uint32_t>(2, budget / 3)};
}

byte_string worst_archive(std::uint32_t size)
{
    // Half the bytes for each section, after the 180-byte index.
    const std::uint32_t each = (size - 180) / 2 - 16;
    const shared_shape a = worst_shape(each, 8);
    const shared_shape b = worst_shape(each, 4);
    return archive_with(shared_list_section(a.blocks, a.count, a.length),
                        shared_list_nested(b.blocks, b.count, b.length));
}

// A pack whose blocks all name one list of strings that all start at one long
// string of `symbol`; with its one-bit code each stored bit is one text byte (a line
// feed adds the continuation indent, and in the verbose listing a line of its own).
pack_bytes worst_pack(std::uint32_t size, bool huffman, std::uint8_t symbol)
{
    const std::vector<pack_record> records = huffman
        ? std::vector<pack_record>{{symbol, 2, 0xFF, 0xFF}, {0x7C, 2, 0xFF, 0xFF}, {0, 0xFF, 0, 1}}
        : std::vector<pack_record>{};
    const shared_shape w = worst_shape(size - 2 - 4 * static_cast<std::uint32_t>(records.size()) - 2, 6);
    pack_bytes out;
    put_u16(out, static_cast<std::uint32_t>(records.size()));
    for (const pack_record& r : records)
        out.insert(out.end(), {r.symbol, r.parent, r.left, r.right});
    put_u16(out, w.blocks);
    const std::uint32_t block_at = static_cast<std::uint32_t>(out.size()) + 6 * w.blocks;
    for (std::uint32_t i = 0; i < w.blocks; ++i) {
        put_u16(out, i);
        put_u32(out, block_at);
    }
    put_u16(out, w.count);
    for (std::uint32_t j = 0; j < w.count; ++j)
        put_u16(out, 0);
    for (std::uint32_t k = 0; k + 1 < w.length; ++k)
        out.push_back(huffman ? 0x00 : static_cast<std::uint8_t>(k == 0 ? symbol : 0));
    out.push_back(huffman ? 0x80 : static_cast<std::uint8_t>(symbol ^ 0x7C)); // the end mark
    return out;
}

void archive_seeds(const fs::path& dir, const fs::path& examples)
{
    const byte_string empty = {0, 0, 0, 0};
    write_file(dir / "empty_sections", archive_with(empty, empty));

    write_file(dir / "small", archive_with(build_section_with_ids({{5, {game_string("AB")}}}),
                                           build_section_nested({{0, {game_string("CD")}}})));

    // Kana, kanji, voiced kana, line breaks, marks and control bytes in both layouts.
    const std::vector<byte_string> texts = {
        game_string("ようこそ、旅の者よ。ここは王国の東の町だ。"),
        game_string("宿屋はこの道の先にある。\\n今夜はゆっくり休むといい。"),
        game_string("ガギグゲゴ パピプペポ 々"),
        game_string("{01 79}{85}{A0}{04 FF}{00}{0A}{7F}{1E}"),
        game_string("\\\\n{01 5C}n{5C 6E 01 00}"),
        game_string("{01 1F}{02 1F}{03 00}{04 A8}"),
        game_string(""),
        game_string("Lv 12 HP 340/340 MP 25/25"),
    };
    write_file(dir / "rendering", archive_with(build_section_with_ids({{1001, texts}, {1002, {}}}),
                                               build_section_nested({{0, texts}, {0, {}}})));

    // Many blocks in each layout, ids of 2^31 and more among them.
    std::vector<archive_block> many;
    for (std::uint32_t i = 0; i < 60; ++i) {
        archive_block block{0x7FFFFFF0u + i * 3, {}};
        for (std::uint32_t j = 0; j < i % 4; ++j)
            block.strings.push_back(game_string(std::string(1 + j, static_cast<char>('a' + i % 26))));
        many.push_back(block);
    }
    write_file(dir / "many_blocks", archive_with(build_section_with_ids(many), build_section_nested(many)));

    // Blocks sharing one offset list, strings sharing one start.
    write_file(dir / "shared_lists", archive_with(shared_list_section(6, 5, 9), shared_list_nested(6, 5, 9)));

    // Nearly valid: a string that runs off the end of section 8; an offset one past it.
    byte_string unterminated = build_section_with_ids({{1, {game_string("OK"), {0x41, 0x42}}}});
    write_file(dir / "unterminated", archive_with(unterminated, empty));
    byte_string lead_at_end = build_section_nested({{0, {game_string("X"), {0x41, 0x02}}}});
    write_file(dir / "lead_at_end", archive_with(build_section_with_ids({}), lead_at_end));

    if (!examples.empty())
        write_file(dir / "example", build_archive_from_text(read_file(examples / "kestra.txt")));
}

void pack_seeds(const fs::path& dir, const fs::path& examples)
{
    write_file(dir / "empty", {0, 0, 0, 0});

    // Shallow tree: one symbol and the end mark.
    const std::vector<std::string> shallow_texts = {"aaaa", "", "a"};
    const auto shallow = huffman_records_for(shallow_texts);
    pack_block shallow_block{7, {}};
    for (const std::string& t : shallow_texts)
        shallow_block.strings.push_back(huffman_encode(shallow, t));
    write_file(dir / "huffman_shallow", build_pack(shallow, {shallow_block}));

    // Deep tree: doubling weights give a code word one bit longer per symbol.
    std::map<std::uint8_t, std::uint64_t> weights;
    for (int k = 0; k < 40; ++k)
        weights[static_cast<std::uint8_t>('!' + k)] = std::uint64_t{1} << k;
    weights[0x7C] = 1;
    weights[0x0A] = 2;
    const auto deep = huffman_records(weights);
    pack_block deep_block{300, {}};
    for (const std::string t : {"!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGH", "H\nG\n", "!\n", ""})
        deep_block.strings.push_back(huffman_encode(deep, t));
    write_file(dir / "huffman_deep", build_pack(deep, {deep_block, {301, {}}}));

    // A typical table: several blocks, line feeds, a text ending in a line feed.
    const std::vector<std::string> texts = {"Welcome to Harth, traveller.", "Old Maren: \"dry\nsince\"",
                                            "A key.\nIt is cold.\n", "", "HP 120/120  MP 34/40"};
    const auto typical = huffman_records_for(texts);
    std::vector<pack_block> blocks;
    for (std::uint16_t b = 0; b < 3; ++b) {
        pack_block& block = blocks.emplace_back(pack_block{static_cast<std::uint16_t>(100 + b), {}});
        for (std::size_t k = b; k < texts.size(); ++k)
            block.strings.push_back(huffman_encode(typical, texts[k]));
    }
    write_file(dir / "huffman_blocks", build_pack(typical, blocks));

    // The root is the end mark itself: every string is empty.
    write_file(dir / "huffman_root_end_mark", build_pack({{0x7C, 0xFF, 0xFF, 0xFF}}, {{1, {{0x00}, {0xFF}}}}));

    // Nodes with one child, and a bit that leads to the missing side.
    write_file(dir / "huffman_one_child",
               build_pack({{'x', 2, 0xFF, 0xFF}, {0x7C, 3, 0xFF, 0xFF}, {0, 3, 0, 0xFF}, {0, 0xFF, 2, 1}},
                          {{0, {{0x23, 0x00}, {0x80}, {0x40}}}}));

    // XOR-chained Shift-JIS: pairs, a 0x7C trail byte, half-width kana, line feeds.
    const std::vector<std::string> sjis = {
        "\x82\xA0\x82\xA2\x81\x42", "\x83\x7C|",  "A\xB1\xDF\x80\xFD", "line\nnext\n",
        "",                         "\xE0\x40\xFC\xFC", "plain ASCII text"};
    pack_block xor_block{1, {}};
    for (const std::string& t : sjis)
        xor_block.strings.push_back(xor_encode(t));
    write_file(dir / "xor_sjis", build_pack({}, {xor_block, {2, {}}, {3, {xor_encode("x")}}}));
    // Nearly valid: a bad trail byte; a lead byte at the end of the file.
    write_file(dir / "xor_bad_trail", build_pack({}, {{0, {xor_encode("ok"), xor_encode("\x82\x7F")}}}));
    pack_bytes lead_last = build_pack({}, {{0, {{0x41}}}});
    lead_last.back() = 0x82;
    write_file(dir / "xor_lead_last", lead_last);

    write_file(dir / "shared_huffman", worst_pack(160, true, 'A'));
    write_file(dir / "shared_xor", worst_pack(160, false, '\n'));

    if (!examples.empty()) {
        write_file(dir / "example_huffman",
                   build_example_pack(read_pack_source(read_file(examples / "strings_pak.txt"), false), true));
        write_file(dir / "example_xor",
                   build_example_pack(read_pack_source(read_file(examples / "xor_pak.txt"), true), false));
    }
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 4 && (std::string(argv[1]) == "--worst-archive" || std::string(argv[1]) == "--worst-pack")) {
            const auto size = static_cast<std::uint32_t>(std::stoul(argv[2]));
            if (size < 200)
                throw std::invalid_argument("size too small");
            write_file(argv[3], std::string(argv[1]) == "--worst-archive" ? worst_archive(size) : worst_pack(size, true, 0x0A));
            return 0;
        }
        if (argc < 2 || argc > 3) {
            std::fputs("usage: make_seeds OUT_DIR [EXAMPLES_DIR]\n"
                       "       make_seeds --worst-archive|--worst-pack SIZE FILE\n",
                       stderr);
            return 2;
        }
        const fs::path out = argv[1];
        const fs::path examples = argc == 3 ? fs::path(argv[2]) : fs::path();
        fs::create_directories(out / "archive");
        fs::create_directories(out / "pack");
        archive_seeds(out / "archive", examples);
        pack_seeds(out / "pack", examples);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
