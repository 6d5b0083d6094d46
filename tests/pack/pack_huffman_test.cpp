// Huffman-coded strings: bit order, code words across bytes, the look-ahead load,
// missing children, the verbose listing, line prefixes, and round trips.
#include <algorithm>
#include <numeric>
#include <random>

#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

const std::string indent13(13, ' ');
const std::string indent23(23, ' ');

// Codes: A = 000, B = 001, C = 01, line feed = 10, end mark = 11.
const std::vector<pack_record> five_symbols = {
    {'A', 5, 0xFF, 0xFF}, {'B', 5, 0xFF, 0xFF}, {'C', 6, 0xFF, 0xFF},
    {0x0A, 7, 0xFF, 0xFF}, {'|', 7, 0xFF, 0xFF}, {0, 6, 0, 1},
    {0, 8, 5, 2},          {0, 8, 3, 4},         {0, 0xFF, 6, 7},
};

TEST(PackHuffman, WorkedExampleOfAThirtyFiveByteFile)
{
    const pack_bytes file = {0x05, 0x00, 0x48, 0x02, 0xFF, 0xFF, 0x69, 0x02, 0xFF, 0xFF, 0x00, 0x04,
                             0x00, 0x01, 0x7C, 0x04, 0xFF, 0xFF, 0x00, 0xFF, 0x02, 0x03, 0x01, 0x00,
                             0x07, 0x00, 0x1E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x18};
    ASSERT_EQ(file.size(), 35u);
    expect_completed(run_on(file), "[  0][  0] = Hi\n");
    expect_completed(run_verbose(file), "DEBUG: +00000000 num_nodes = 5\n"
                                        "DEBUG: +00000002 [0] [H]   2 255 255\n"
                                        "DEBUG: +00000006 [1] [i]   2 255 255\n"
                                        "DEBUG: +0000000A [2] 00    4   0   1\n"
                                        "DEBUG: +0000000E [3] [|]   4 255 255\n"
                                        "DEBUG: +00000012 [4] 00  255   2   3\n"
                                        "DEBUG: +00000016 num_blocks = 1\n"
                                        "DEBUG: +00000018 [0] id=7 offset=0000001E\n"
                                        "DEBUG: +0000001E [0] count=1\n"
                                        "DEBUG: +00000020 [0][0] offset=0000\n"
                                        "[  0][  0] +00000022 = Hi\n"
                                        "                       00,01,1\n");
}

TEST(PackHuffman, CodeWordsCrossByteBoundaries)
{
    // 0x54 0x60 = 01 01 01 00|0 11: the A straddles the two bytes.
    expect_completed(run_on(one_block(five_symbols, {{0x54, 0x60}})), "[  0][  0] = CCCA\n");

    // A chain: symbol 'a'+k has the code of k ones and a zero, the end mark twenty
    // ones. "t" (19 ones, a zero) spans three bytes, the end mark three more.
    std::vector<pack_record> chain(41);
    for (std::uint8_t k = 0; k < 20; ++k)
        chain[k] = {static_cast<std::uint8_t>('a' + k), static_cast<std::uint8_t>(40 - k), 0xFF, 0xFF};
    chain[20] = {'|', 21, 0xFF, 0xFF};
    for (std::uint8_t depth = 0; depth < 20; ++depth) { // depth 0 is the root, record 40
        const auto right = static_cast<std::uint8_t>(depth == 19 ? 20 : 39 - depth);
        chain[40 - depth] = {0, static_cast<std::uint8_t>(depth == 0 ? 0xFF : 41 - depth), depth, right};
    }
    const std::string bits = std::string(19, '1') + "0" + "0" + std::string(20, '1');
    expect_completed(run_on(one_block(chain, {pack_bits(bits)})), "[  0][  0] = ta\n");
}

TEST(PackHuffman, NextByteIsLoadedBeforeTheLeafTest)
{
    // 0x57 = 01 01 01 11: the end mark ends on the last bit of the byte. With a byte
    // behind it the string is complete; as the last byte of the file it overruns.
    expect_completed(run_on(one_block(five_symbols, {{0x57}, {0xC0}})), "[  0][  0] = CCC\n[  0][  1] = \n");
    expect_failed(run_on(one_block(five_symbols, {{0xC0}, {0x57}})),
                  "[  0][  0] = \n[  0][  1] = CCC\nERROR: buffer overrun\n");
    // Bits that run out without an end mark, in verbose mode: no listing follows.
    tool_run run = run_verbose(one_block(five_symbols, {{0x00}}));
    EXPECT_EQ(run.out.substr(run.out.rfind("[  0][  0]")), "[  0][  0] +00000032 = AA\nERROR: buffer overrun\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

TEST(PackHuffman, MissingChildNamesTheByteAndBitThatLedThere)
{
    // The string at 0x100; bit 2 (mask 0x20) of its second byte is the 0 that
    // finds no left child.
    pack_bytes file;
    le16(file, 6);
    for (const pack_record& r : tree_with_gap(0xFF))
        append(file, {r.symbol, r.parent, r.left, r.right});
    le16(file, 1);
    le16(file, 3);
    le32(file, 34);  // the block
    le16(file, 1);   // one string, counted from 38
    le16(file, 0x100 - 38);
    file.resize(0x100, 0);
    append(file, {0x06, 0x40});
    expect_failed(run_on(file), "[  0][  0] = bbbbbabERROR: left node is NULL: +00000101.2");
    tool_run run = run_verbose(file);
    EXPECT_TRUE(run.out.ends_with("[  0][  0] +00000100 = bbbbbabERROR: left node is NULL: +00000101.2"))
        << run.out;
    EXPECT_EQ(run.status, 1);

    // No end mark behind the bits 11: 0x46 = 01 000 11.
    std::vector<pack_record> no_end = five_symbols;
    no_end[7].right = 0xFF;
    expect_failed(run_on(one_block(no_end, {{0x46}})),
                  "[  0][  0] = CAERROR: right node is NULL: +" + hex8(first_string_offset(9, 1)) + ".6");
}

TEST(PackHuffman, LineFeedsIndentTextAndBreakTheListing)
{
    const pack_bytes file = one_block(five_symbols, {
        {0x11, 0xC0}, // A, line feed, B, end:   000 10 001 11
        {0x6C},       // C, line feed, end:      01 10 11
        {0xC0},       // end only:               11
        {0x14, 0x70}, // A, 2 line feeds, B:     000 10 10 001 11
    });
    expect_completed(run_on(file), "[  0][  0] = A\n" + indent13 + "B\n"
                                   "[  0][  1] = C\n\n"
                                   "[  0][  2] = \n"
                                   "[  0][  3] = A\n" + indent13 + "\n" + indent13 + "B\n");
    tool_run run = run_verbose(file);
    EXPECT_EQ(run.out.substr(run.out.find("[  0][  0]")),
              "[  0][  0] +00000038 = A\n" + indent23 + "B\n" +
              indent23 + "000,10,\n" + indent23 + "001,11\n"
              "[  0][  1] +0000003A = C\n" + // no empty line after a final line feed
              indent23 + "01,10,\n" + indent23 + "11\n"
              "[  0][  2] +0000003B = \n" + indent23 + "11\n"
              "[  0][  3] +0000003C = A\n" + indent23 + "\n" + indent23 + "B\n" +
              indent23 + "000,10,\n" + indent23 + "10,\n" + indent23 + "001,11\n");
    EXPECT_EQ(run.status, 0);
}

TEST(PackHuffman, PositionsOfAThousandAndMoreWidenThePrefix)
{
    // Blocks 0 to 999 share one empty block; block 1000 has 1235 strings, all at
    // the same start ("A", line feed, "B").
    pack_bytes file;
    le16(file, static_cast<unsigned>(five_symbols.size()));
    for (const pack_record& r : five_symbols)
        append(file, {r.symbol, r.parent, r.left, r.right});
    const std::uint32_t directory_end = static_cast<std::uint32_t>(file.size() + 2 + 6 * 1001);
    le16(file, 1001);
    for (unsigned i = 0; i < 1001; ++i) {
        le16(file, i);
        le32(file, i < 1000 ? directory_end : directory_end + 2);
    }
    le16(file, 0);
    le16(file, 1235);
    for (unsigned j = 0; j < 1235; ++j)
        le16(file, 0);
    const auto text_at = static_cast<std::uint32_t>(file.size());
    append(file, {0x11, 0xC0});

    tool_run run = run_on(file);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("[1000][  0] = A\n" + indent13 + "B\n[1000][  1] = A\n")) << run.out.substr(0, 80);
    EXPECT_NE(run.out.find("[1000][999] = A\n" + indent13 + "B\n[1000][1000] = A\n"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("[1000][1234] = A\n" + indent13 + "B\n"));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2 * 1235);

    run = run_verbose(file);
    EXPECT_NE(run.out.find("[1000][1234] +" + hex8(text_at) + " = A\n" + indent23 + "B\n"), std::string::npos);
}

// Random round trips: texts under random code trees, encoded by the builder, must
// come back byte for byte in both modes.

std::string line_prefix(std::size_t i, std::size_t j)
{
    char text[64];
    std::snprintf(text, sizeof text, "[%3.1zu][%3.1zu] = ", i, j);
    return text;
}

std::string verbose_prefix(std::size_t i, std::size_t j, std::size_t offset)
{
    char text[96];
    std::snprintf(text, sizeof text, "[%3.1zu][%3.1zu] +%08zX = ", i, j, offset);
    return text;
}

std::string indented(const std::string& text, const std::string& indent)
{
    std::string out;
    bool pending = false;
    for (char c : text) {
        if (pending)
            out += indent;
        pending = c == '\n';
        out += c;
    }
    return out;
}

std::string listing(const std::string& text, const std::map<std::uint8_t, std::string>& words)
{
    std::string out;
    bool pending = true;
    for (char c : text) {
        if (pending)
            out += indent23;
        pending = c == '\n';
        out += words.at(static_cast<std::uint8_t>(c)) + (pending ? ",\n" : ",");
    }
    return out + (pending ? indent23 : "") + words.at('|');
}

// The records in a random order, the root kept last.
std::vector<pack_record> shuffled(const std::vector<pack_record>& records, std::mt19937& rng)
{
    std::vector<std::size_t> place(records.size());
    std::iota(place.begin(), place.end(), std::size_t{0});
    std::shuffle(place.begin(), place.end() - 1, rng);
    auto moved = [&](std::uint8_t link) {
        return link == pack_no_link ? link : static_cast<std::uint8_t>(place[link]);
    };
    std::vector<pack_record> out(records.size());
    for (std::size_t k = 0; k < records.size(); ++k) {
        const pack_record& r = records[k];
        out[place[k]] = {r.symbol, moved(r.parent), moved(r.left), moved(r.right)};
    }
    return out;
}

TEST(PackHuffman, RandomTextsUnderRandomTreesRoundTrip)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        auto below = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
        // An alphabet of 1 to 127 text bytes (any but the end mark), line feed often.
        std::vector<std::uint8_t> alphabet;
        for (unsigned b = 0; b < 256; ++b)
            if (b != 0x7C)
                alphabet.push_back(static_cast<std::uint8_t>(b));
        std::shuffle(alphabet.begin(), alphabet.end(), rng);
        alphabet.resize(1 + below(127));
        if (below(2) != 0 && std::find(alphabet.begin(), alphabet.end(), 0x0A) == alphabet.end())
            alphabet.back() = 0x0A;

        std::vector<std::vector<std::string>> blocks(1 + below(4));
        for (auto& block : blocks) {
            block.resize(below(7));
            for (std::string& text : block) {
                const unsigned length = below(4) == 0 ? 0 : below(90);
                for (unsigned n = 0; n < length; ++n) // skewed: early symbols are common
                    text += static_cast<char>(alphabet[below(1 + below(static_cast<unsigned>(alphabet.size())))]);
            }
        }
        // Either the tree of the texts, or random weights spanning many orders of
        // magnitude, which give code words far longer than a byte.
        std::map<std::uint8_t, std::uint64_t> weights;
        for (std::uint8_t symbol : alphabet)
            weights[symbol] = std::uint64_t{1} << below(seed % 2 == 0 ? 3 : 40);
        weights[0x7C] = std::uint64_t{1} << below(40);
        const std::vector<pack_record> records = shuffled(huffman_records(weights), rng);

        std::vector<pack_block> packed;
        std::string expected_normal;
        std::string expected_verbose;
        const auto words = code_words(records);
        std::size_t offset = 2 + 4 * records.size() + 2 + 6 * blocks.size();
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            pack_block& block = packed.emplace_back(pack_block{static_cast<std::uint16_t>(i), {}});
            offset += 2 + 2 * blocks[i].size();
            for (std::size_t j = 0; j < blocks[i].size(); ++j) {
                const std::string& text = blocks[i][j];
                block.strings.push_back(huffman_encode(records, text));
                expected_normal += line_prefix(i, j) + indented(text, indent13) + "\n";
                expected_verbose += verbose_prefix(i, j, offset) + indented(text, indent23) +
                                    (text.ends_with('\n') ? "" : "\n") + listing(text, words) + "\n";
                offset += block.strings.back().size();
            }
        }
        const pack_bytes file = build_pack(records, packed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_completed(run_on(file), expected_normal);
        tool_run run = run_verbose(file);
        const std::size_t last_trace = run.out.rfind("\nDEBUG: ");
        ASSERT_NE(last_trace, std::string::npos);
        EXPECT_EQ(run.out.substr(run.out.find('\n', last_trace + 1) + 1), expected_verbose);
        EXPECT_EQ(run.status, 0);
    }
}

} // namespace
