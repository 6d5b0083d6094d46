// kx_strings as a program: command line, file loading, exit status and the channels.
#include <filesystem>

#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

const pack_bytes empty_pack = {0, 0, 0, 0}; // no nodes, no blocks

TEST(PackCommandLine, HelpPrintsUsageOnStandardErrorAndFails)
{
    for (const char* option : {"-?", "--help"}) {
        tool_run run = run_tool(kx_strings, {option, "T.PAK"});
        EXPECT_EQ(run.out, "") << option;
        EXPECT_EQ(run.err, usage_text) << option;
        EXPECT_EQ(run.status, 1) << option;
    }
}

TEST(PackCommandLine, UnknownOptionsAreRejectedBeforeAnyFileIsOpened)
{
    // Case matters, a doubled letter or a lone dash is not an option, and parsing
    // stops at the first error, so a later --help is never seen.
    for (const char* option : {"-x", "-v", "-VV", "--Verbose", "-", "--", "-?x"}) {
        tool_run run = run_tool(kx_strings, {option, "MISSING.PAK", "--help"});
        EXPECT_EQ(run.out, "") << option;
        EXPECT_EQ(run.err, std::string("ERROR: unknown option '") + option + "'\n") << option;
        EXPECT_EQ(run.status, 1) << option;
    }
}

TEST(PackCommandLine, SecondFileNameIsAnIllegalParameter)
{
    tool_run run = run_tool(kx_strings, {"MISSING.PAK", "-V", "OTHER.PAK", "THIRD.PAK"});
    EXPECT_EQ(run.out, ""); // the first file is never opened
    EXPECT_EQ(run.err, "ERROR: illegal parameter 'OTHER.PAK'\n");
    EXPECT_EQ(run.status, 1);
}

TEST(PackCommandLine, VerboseSwitchesRepeatWithoutFurtherEffect)
{
    scratch_dir dir;
    dir.write("T.PAK", empty_pack);
    const std::string trace = "DEBUG: +00000000 num_nodes = 0\n"
                              "DEBUG: +00000002 num_blocks = 0\n";
    expect_completed(run_tool(kx_strings, {"-V", "T.PAK"}, dir.path), trace);
    expect_completed(run_tool(kx_strings, {"-V", "--verbose", "T.PAK"}, dir.path), trace);
    expect_completed(run_tool(kx_strings, {"T.PAK", "-V", "-V"}, dir.path), trace);
}

TEST(PackCommandLine, DefaultFileIsStringsPakInTheCurrentDirectory)
{
    scratch_dir dir;
    expect_failed(run_tool(kx_strings, {}, dir.path), "ERROR: can't open file: STRINGS.PAK\n");
    dir.write("STRINGS.PAK", empty_pack);
    expect_completed(run_tool(kx_strings, {}, dir.path), "");
}

TEST(PackCommandLine, EmptyArgumentIsTakenAsTheFileName)
{
    expect_failed(run_tool(kx_strings, {""}), "ERROR: can't open file: \n");
}

TEST(PackLoader, FilesTooShortForTheTables)
{
    scratch_dir dir;
    expect_failed(run_tool(kx_strings, {"NOPE.PAK"}, dir.path), "ERROR: can't open file: NOPE.PAK\n");
    // One item of zero bytes cannot be read.
    expect_failed(run_on({}), "ERROR: can't read file: T.PAK\n");
    expect_failed(run_on({0}), "ERROR: buffer overrun\n");
    // Two zero bytes: no nodes, but no room for the block count.
    expect_failed(run_on({0, 0}), "ERROR: buffer overrun\n");
    expect_failed(run_verbose({0, 0}), "DEBUG: +00000000 num_nodes = 0\nERROR: buffer overrun\n");
    expect_completed(run_on(empty_pack), "");
}

TEST(PackLoader, FilesOfFourGibibytesAndMoreAreRefusedUnread)
{
    scratch_dir dir;
    try {
        dir.write("BIG.PAK", {});
        std::filesystem::resize_file(dir.path + "/BIG.PAK", std::uintmax_t{1} << 32); // sparse
    } catch (const std::filesystem::filesystem_error& e) {
        GTEST_SKIP() << "no room for a sparse 4 GiB file: " << e.what();
    }
    expect_failed(run_tool(kx_strings, {"BIG.PAK"}, dir.path), "ERROR: can't read file: BIG.PAK\n");
}

// The dump that a write failure loses: enough text to need writing at all.
pack_bytes pack_with_text()
{
    std::vector<pack_bytes> strings(50, xor_encode("A line of text that will not reach its reader."));
    return build_pack({}, {pack_block{1, strings}});
}

TEST(PackOutput, WriteFailureOnStandardOutputFailsTheRun)
{
    scratch_dir dir;
    dir.write("T.PAK", pack_with_text());
    for (const char* target : {"/dev/full", "-"}) { // "-": standard output closed
        tool_run run = run_tool(kx_strings, {"T.PAK"}, dir.path, target);
        EXPECT_EQ(run.err, "ERROR: can't write output\n") << target;
        EXPECT_EQ(run.status, 1) << target;
    }
}

} // namespace
