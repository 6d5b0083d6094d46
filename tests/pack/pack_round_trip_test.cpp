// Random texts encoded by the test builder come back byte for byte in both forms and
// both modes; the committed example files regenerate and dump as their sources say.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>

#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

// The dump of one string: its line prefix (with the file offset in verbose mode) and
// the text, every line feed but a final one followed by the continuation indent.
std::string dumped(std::size_t i, std::size_t j, const std::string& text, bool verbose, std::size_t offset)
{
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[%3.1zu][%3.1zu] ", i, j);
    std::string out = prefix + (verbose ? "+" + hex8(offset) + " " : "") + "= ";
    for (std::size_t k = 0; k < text.size(); ++k)
        out += text[k] + (text[k] == '\n' && k + 1 < text.size() ? (verbose ? indent23 : indent13) : "");
    return out;
}

// The verbose code listing of `text`: code words joined by ",", a line per text line.
std::string listing(const std::string& text, const std::map<std::uint8_t, std::string>& words)
{
    std::string out = indent23;
    for (std::size_t k = 0; k < text.size(); ++k)
        out += words.at(static_cast<std::uint8_t>(text[k])) + (text[k] == '\n' ? ",\n" + indent23 : ",");
    return out + words.at('|');
}

bool is_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

TEST(PackRoundTrip, RandomTextsInBothFormsAndModes)
{
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        auto below = [&](std::size_t n) { return static_cast<unsigned>(rng() % n); };
        const bool huffman = seed % 3 != 0;
        // 1 to 127 single text bytes, often with a line feed; Shift-JIS pairs (the
        // trail often 0x7C) in the XOR-chained form, any byte but 0x7C in Huffman code.
        std::vector<char> alphabet;
        for (unsigned b = 0; b < 256; ++b)
            if (b != 0x7C && !(is_lead(b) && !huffman))
                alphabet.push_back(static_cast<char>(b));
        std::shuffle(alphabet.begin(), alphabet.end(), rng);
        alphabet.resize(1 + below(127));
        if (below(2) != 0)
            alphabet.back() = '\n';
        std::vector<std::vector<std::string>> texts(1 + below(4));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            texts[i].resize(i == 0 ? 1 + below(6) : below(7));
            for (std::string& text : texts[i]) {
                for (unsigned n = below(4) == 0 ? 0 : below(90); n > 0; --n) {
                    if (!huffman && below(3) == 0) {
                        const unsigned trail = below(4) == 0 ? 0x7C : 0x40 + below(0xFD - 0x40);
                        text += static_cast<char>(below(2) == 0 ? 0x81 + below(0x1F) : 0xE0 + below(0x1D));
                        text += static_cast<char>(trail == 0x7F ? 0x7C : trail);
                    } else { // skewed: early symbols are common
                        text += alphabet[below(1 + below(alphabet.size()))];
                    }
                }
            }
        }
        // Weights spanning many orders of magnitude give code words far longer than a
        // byte. The records are shuffled, the root kept last.
        std::map<std::uint8_t, std::uint64_t> weights;
        for (char c : alphabet)
            weights[static_cast<std::uint8_t>(c)] = std::uint64_t{1} << below(seed % 2 == 0 ? 3 : 40);
        weights[0x7C] = std::uint64_t{1} << below(40);
        std::vector<pack_record> records;
        if (huffman) {
            const std::vector<pack_record> ordered = huffman_records(weights);
            std::vector<std::uint8_t> place(ordered.size());
            std::iota(place.begin(), place.end(), std::uint8_t{0});
            std::shuffle(place.begin(), place.end() - 1, rng);
            auto moved = [&](std::uint8_t link) { return link == pack_no_link ? link : place[link]; };
            records.resize(ordered.size());
            for (std::size_t k = 0; k < ordered.size(); ++k)
                records[place[k]] = {ordered[k].symbol, moved(ordered[k].parent), moved(ordered[k].left),
                                     moved(ordered[k].right)};
        }
        const auto words = code_words(records);

        std::vector<pack_block> blocks;
        std::string normal_out, verbose_out;
        std::size_t offset = 2 + 4 * records.size() + 2 + 6 * texts.size();
        for (std::size_t i = 0; i < texts.size(); ++i) {
            pack_block& block = blocks.emplace_back(pack_block{static_cast<std::uint16_t>(i), {}});
            offset += 2 + 2 * texts[i].size();
            for (std::size_t j = 0; j < texts[i].size(); ++j) {
                const std::string& text = texts[i][j];
                block.strings.push_back(huffman ? huffman_encode(records, text) : xor_encode(text));
                normal_out += dumped(i, j, text, false, 0) + "\n";
                verbose_out += dumped(i, j, text, true, offset) +
                               (huffman ? (text.ends_with('\n') ? "" : "\n") + listing(text, words) + "\n" : "\n");
                offset += block.strings.back().size();
            }
        }
        const pack_bytes file = build_pack(records, blocks);
        run_cases({{"normal", file, normal, normal_out, done, 0},
                   {"verbose", file, verbose, "...\n" + verbose_out, done, 0}});
    }
}

TEST(PackRoundTrip, PositionsOfAThousandAndMoreWidenThePrefix)
{
    std::vector<pack_block> blocks(1001);
    blocks[1000].strings.assign(1235, xor_encode("A\nB"));
    const pack_bytes file = build_pack({}, blocks);
    const std::string text = "A\n" + indent13 + "B\n";
    tool_run run = run_on(file, normal);
    EXPECT_TRUE(run.out.starts_with("[1000][  0] = " + text + "[1000][  1] = A\n")) << run.out.substr(0, 80);
    EXPECT_NE(run.out.find("\n[1000][999] = " + text + "[1000][1000] = " + text), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("\n[1000][1234] = " + text));
    EXPECT_EQ(run.status, 0);
    run = run_on(file, verbose);
    EXPECT_TRUE(run.out.ends_with("\n[1000][1234] +" + hex8(file.size() - 4) + " = A\n" + indent23 + "B\n"));
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PackExamples, RegenerateByteForByteAndDumpTheirSourceTexts)
{
    const std::string examples = KX_EXAMPLES_DIR;
    scratch_dir dir;
    write_pack_examples(examples, dir.path);
    struct example {
        std::string pak, source;
        bool shift_jis;
        std::string line; // one line written out by hand
    };
    for (const example& e : {example{"/STRINGS.PAK", "/strings_pak.txt", false,
                                     "[  0][  2] = Old Maren: \"The well has run dry\n"
                                     "             since the bells stopped ringing.\"\n"},
                             example{"/XOR.PAK", "/xor_pak.txt", true, // a katakana with the trail 0x7C
                                     "[  0][  2] = \x83\x7C\x81\x5B\x83\x56\x83\x87\x83\x93 50\x89\x7E\n"}}) {
        SCOPED_TRACE(e.pak);
        const std::string committed = read_file(examples + e.pak);
        EXPECT_FALSE(committed.empty());
        EXPECT_TRUE(read_file(dir.path + e.pak) == committed) << "differs from its source";
        std::string expected;
        const auto blocks = read_pack_source(read_file(examples + e.source), e.shift_jis);
        for (std::size_t i = 0; i < blocks.size(); ++i)
            for (std::size_t j = 0; j < blocks[i].texts.size(); ++j)
                expected += dumped(i, j, blocks[i].texts[j], false, 0) + "\n";
        const tool_run run = run_tool(kx_strings, {examples + e.pak});
        EXPECT_EQ(run.out, expected);
        EXPECT_NE(run.out.find(e.line), std::string::npos);
        EXPECT_EQ(run.err, done);
        EXPECT_EQ(run.status, 0);
    }
}

} // namespace
