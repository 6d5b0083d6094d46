// kx_strings as a program: command line, loading, table sizes and write failures.
#include <filesystem>

#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

TEST(PackProgram, CommandLineAndLoader)
{
    const std::string usage = "usage: kx_strings [options] [STRINGS.PAK]\n"
                              "option: -V|--verbose        increase verbose level\n"
                              "        -?|--help           print usage\n";
    const std::string overrun = "ERROR: buffer overrun\n";
    run_cases({
        {"-?", {}, {"-?", "T.PAK"}, "", usage, 1},
        {"--help", {}, {"--help", "T.PAK"}, "", usage, 1},
        {"unknown option", {}, {"-x", "MISSING.PAK", "--help"}, "", "ERROR: unknown option '-x'\n", 1},
        {"second file name", {}, {"MISSING.PAK", "-V", "OTHER.PAK"}, "", "ERROR: illegal parameter 'OTHER.PAK'\n", 1},
        {"default file missing", {}, {}, "ERROR: can't open file: STRINGS.PAK\n", "", 1},
        {"0 bytes", {}, normal, "ERROR: can't read file: T.PAK\n", "", 1},
        {"1 byte", {0}, normal, overrun, "", 1},
        {"2 bytes", {0, 0}, verbose, "DEBUG: +00000000 num_nodes = 0\n" + overrun, "", 1},
        {"4 zero bytes", {0, 0, 0, 0}, normal, "", done, 0},
        {"node table up to the end of the file", {1, 0, '|', 0xFF, 0xFF, 0xFF}, verbose,
         "DEBUG: +00000000 num_nodes = 1\nDEBUG: +00000002 [0] [|] 255 255 255\n" + overrun, "", 1},
        {"node table beyond the end of the file", {3, 0, '|', 0xFF, 0xFF, 0xFF, 'A', 0xFF, 0xFF, 0xFF}, verbose,
         "DEBUG: +00000000 num_nodes = 3\n" + overrun, "", 1},
    });
}

TEST(PackProgram, FileOfFourGibibytesIsRefusedUnread)
{
    scratch_dir dir;
    try {
        std::filesystem::resize_file(dir.write("BIG.PAK", {}), std::uintmax_t{1} << 32); // sparse
    } catch (const std::filesystem::filesystem_error& e) {
        GTEST_SKIP() << "no room for a sparse 4 GiB file: " << e.what();
    }
    const tool_run run = run_tool(kx_strings, {"BIG.PAK"}, dir.path);
    EXPECT_EQ(run.out, "ERROR: can't read file: BIG.PAK\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

TEST(PackProgram, WriteFailureFailsTheRun)
{
    scratch_dir dir;
    dir.write("T.PAK", build_pack({}, {pack_block{1, std::vector<pack_bytes>(50, xor_encode(std::string(60, 'x')))}}));
    for (const char* target : {"/dev/full", "-"}) { // "-": standard output closed
        const tool_run run = run_tool(kx_strings, {"T.PAK"}, dir.path, target);
        EXPECT_EQ(run.err, "ERROR: can't write output\n") << target;
        EXPECT_EQ(run.status, 1) << target;
    }
}

} // namespace
