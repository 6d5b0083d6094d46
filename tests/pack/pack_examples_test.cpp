// The committed example tables: they are reproduced from their source texts, and
// kx_strings dumps them as those texts say.
#include <fstream>
#include <iterator>

#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

const std::string examples = KX_EXAMPLES_DIR;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The dump of `blocks` in normal mode.
std::string expected_dump(const std::vector<pack_source_block>& blocks)
{
    std::string out;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        for (std::size_t j = 0; j < blocks[i].texts.size(); ++j) {
            char prefix[64];
            std::snprintf(prefix, sizeof prefix, "[%3.1zu][%3.1zu] = ", i, j);
            out += prefix;
            const std::string& text = blocks[i].texts[j];
            for (std::size_t k = 0; k < text.size(); ++k) {
                out += text[k];
                if (text[k] == '\n' && k + 1 < text.size())
                    out += std::string(13, ' ');
            }
            out += '\n';
        }
    }
    return out;
}

TEST(PackExamples, RegeneratingReproducesTheCommittedFiles)
{
    scratch_dir dir;
    write_pack_examples(examples, dir.path);
    for (const char* name : {"/STRINGS.PAK", "/XOR.PAK"}) {
        const std::string committed = read_file(examples + name);
        EXPECT_FALSE(committed.empty()) << name;
        EXPECT_TRUE(read_file(dir.path + name) == committed) << name << " differs from its source";
    }
}

TEST(PackExamples, HuffmanExampleDumpsItsSourceText)
{
    const auto blocks = read_pack_source(read_file(examples + "/strings_pak.txt"), false);
    tool_run run = run_tool(kx_strings, {examples + "/STRINGS.PAK"});
    expect_completed(run, expected_dump(blocks));
    EXPECT_TRUE(run.out.starts_with("[  0][  0] = Welcome to Harth, traveller.\n"
                                    "[  0][  1] = The smithy is closed until dawn.\n"
                                    "[  0][  2] = Old Maren: \"The well has run dry\n"
                                    "             since the bells stopped ringing.\"\n"));
    EXPECT_TRUE(run.out.ends_with("[  3][  1] = Press any key (or the Esc key) to return...\n"));
}

TEST(PackExamples, XorExampleDumpsItsShiftJisText)
{
    const auto blocks = read_pack_source(read_file(examples + "/xor_pak.txt"), true);
    tool_run run = run_tool(kx_strings, {examples + "/XOR.PAK"});
    expect_completed(run, expected_dump(blocks));
    // The first katakana has the trail byte 0x7C.
    EXPECT_NE(run.out.find("[  0][  2] = \x83\x7C\x81\x5B\x83\x56\x83\x87\x83\x93 50\x89\x7E\n"),
              std::string::npos);
}

} // namespace
