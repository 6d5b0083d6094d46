// Every input kept under fuzz/regressions/ (inputs that once crashed or hung a fuzz
// target, and hand-made damaged files) runs through the same in-process pipeline as
// the fuzz targets, plainly and verbosely, on every build. Each must end with 0 or -1;
// for some the whole plain dump is known and checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "common/frame.h"
#include "fuzz/inputs.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> inputs_of(const std::string& format)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(KX_FUZZ_DIR) / "regressions" / format))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

struct outcome {
    int result;
    std::string out;
};

template <typename Pipeline>
outcome run_input(Pipeline pipeline, const std::vector<std::uint8_t>& bytes, int level)
{
    static text_output out;
    verbose_level = level;
    out_init_memory(out);
    const int result = pipeline(std::span<const std::uint8_t>(bytes), out);
    out_finish(out);
    verbose_level = 0;
    return {result, out.kept};
}

std::string repeated_lines(int blocks, int strings, const std::string& head, const std::string& text)
{
    std::string out;
    char prefix[64];
    for (int b = 0; b < blocks; ++b)
        for (int s = 0; s < strings; ++s) {
            std::snprintf(prefix, sizeof prefix, "%s[%3.1d][%3.1d] = ", head.c_str(), b, s);
            out += prefix + text + "\n";
        }
    return out;
}

// Plain dumps known for some of the inputs, by file name.
const std::map<std::string, outcome>& known_archive_dumps()
{
    static const std::map<std::string, outcome> known = {
        {"shared_offset_list",
         {0, repeated_lines(200, 3, "[  8]", "AB") + repeated_lines(100, 2, "[ 43]", "CD")}},
        {"huge_block_offset", {-1, "ERROR: buffer size error\n"}},
        {"huge_inner_offset", {-1, "ERROR: buffer size error\n"}},
        {"huge_block_count", {-1, "ERROR: buffer size error\n"}},
        {"huge_section_size", {-1, "ERROR: can't read file: FUZZ\n"}},
        {"huge_string_offset", {-1, "ERROR: illegal code offset: 1000F = 0010 + FFFF\n"}},
    };
    return known;
}

const std::map<std::string, outcome>& known_pack_dumps()
{
    static const std::map<std::string, outcome> known = {
        {"shared_offset_list", {0, repeated_lines(40, 4, "", "\x82|")}},
        {"huge_block_offset", {-1, "ERROR: buffer overrun\n"}},
        {"huge_node_count", {-1, "ERROR: buffer overrun\n"}},
        {"self_referencing_root", {-1, "[  0][  0] = \nERROR: buffer overrun\n"}},
        {"node_cycle", {-1, "[  0][  0] = \nERROR: buffer overrun\n"}},
        {"links_past_table", {-1, "[  0][  0] = ERROR: left node is NULL: +00000018.0"}},
        {"root_leaf_not_end_mark", {-1, "ERROR: illegal node table\n"}},
    };
    return known;
}

template <typename Pipeline>
void replay_all(const std::string& format, Pipeline pipeline, const std::map<std::string, outcome>& known)
{
    const std::vector<fs::path> files = inputs_of(format);
    ASSERT_FALSE(files.empty()) << "no regression inputs under " << format;
    std::size_t checked = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<std::uint8_t> bytes = read_bytes(file);
        const outcome plain = run_input(pipeline, bytes, 0);
        const outcome verbose = run_input(pipeline, bytes, 1);
        EXPECT_TRUE(plain.result == 0 || plain.result == -1) << plain.result;
        // Tracing changes what is written, never whether the input is accepted.
        EXPECT_EQ(verbose.result, plain.result);
        const auto expected = known.find(file.filename().string());
        if (expected != known.end()) {
            ++checked;
            EXPECT_EQ(plain.result, expected->second.result);
            EXPECT_EQ(plain.out, expected->second.out);
        }
    }
    // A renamed or lost input must not silently drop its check.
    EXPECT_EQ(checked, known.size());
}

TEST(FuzzRegressions, ArchiveInputs)
{
    replay_all("archive", run_archive_input, known_archive_dumps());
}

TEST(FuzzRegressions, PackInputs)
{
    replay_all("pack", run_pack_input, known_pack_dumps());
}

} // namespace
