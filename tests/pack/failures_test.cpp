// kx_strings loader failures that need unusual surroundings: a file that cannot be
// positioned and a file too large to allocate. The loader runs before anything is
// written, so in either mode the message is the whole standard output.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_tool.h"
#include "tests/support/expect_failed.h"

namespace {

TEST(PackFailures, FileThatCannotBePositioned)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/dev/stdin"}, std::vector<std::string>{"-V", "/dev/stdin"}}) {
        tool_options options;
        options.stdin_pipe = true;
        expect_failed(run_tool(KX_STRINGS_PATH, args, options), "ERROR: can't seek file: /dev/stdin\n");
    }
}

TEST(PackFailures, FileTooLargeToAllocate)
{
    if (built_with_address_sanitizer)
        GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
    // 256 MiB of sparse zeros: no records, no blocks, a valid (empty) table.
    scratch_dir dir;
    const std::string path = dir.write("BIG.PAK", {});
    try {
        std::filesystem::resize_file(path, std::uintmax_t{256} << 20);
    } catch (const std::filesystem::filesystem_error& e) {
        GTEST_SKIP() << "no room for a sparse file: " << e.what();
    }
    tool_options limited;
    limited.cwd = dir.path;
    limited.address_space_limit = std::uint64_t{128} << 20;
    expect_failed(run_tool(KX_STRINGS_PATH, {"BIG.PAK"}, limited), "ERROR: memory exhausted!\n");
    expect_failed(run_tool(KX_STRINGS_PATH, {"-V", "BIG.PAK"}, limited), "ERROR: memory exhausted!\n");

    // Without the limit the same file loads and dumps as nothing.
    tool_run run = run_tool(KX_STRINGS_PATH, {"BIG.PAK"}, dir.path);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "COMPLETED!\n");
    EXPECT_EQ(run.status, 0);
}

} // namespace
