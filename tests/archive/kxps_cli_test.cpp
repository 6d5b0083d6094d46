// kxps_strings as a whole: command line, loading the index and sections, the order of
// output when a later section fails, failed writes, and the bundled example.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/archive/kxps_util.h"

namespace {

const std::string usage = "usage: kxps_strings [options] [DATAFILE]\n"
                          "option: -V|--verbose        increase verbose level\n"
                          "        -?|--help           print usage\n";

// A small valid archive and its dump.
byte_string small_archive()
{
    return archive_with(build_section_with_ids({{5, {game_string("AB")}}}),
                        build_section_nested({{0, {game_string("CD")}}}));
}
const std::string small_dump = "[  8][  0][  0] = AB\n[ 43][  0][  0] = CD\n";

TEST(CommandLine, HelpAndBadArguments)
{
    for (const char* help : {"-?", "--help"}) {
        tool_run run = run_kxps({help});
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, usage);
        EXPECT_EQ(run.status, 1);
    }
    // Case-sensitive and exact: all of these are unknown options.
    for (const char* bad : {"-v", "-VV", "-", "--Verbose", "--verbose=1", "-x"}) {
        tool_run run = run_kxps({bad, "--help"});
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, std::string("ERROR: unknown option '") + bad + "'\n");
        EXPECT_EQ(run.status, 1);
    }
    // The second file name is rejected before any file is opened.
    tool_run run = run_kxps({"missing1", "-V", "missing2", "-x"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "ERROR: illegal parameter 'missing2'\n");
    EXPECT_EQ(run.status, 1);
    // An empty argument is a file name.
    run = run_kxps({""});
    EXPECT_EQ(run.out, "ERROR: can't open file: \n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

TEST(CommandLine, DefaultFileAndRepeatedVerbose)
{
    scratch_dir dir;
    dir.write("KESTRA", small_archive());
    tool_run plain = run_kxps({}, dir.path);
    EXPECT_EQ(plain.out, small_dump);
    EXPECT_EQ(plain.err, "COMPLETED!\n");
    EXPECT_EQ(plain.status, 0);
    tool_run once = run_kxps({"-V"}, dir.path);
    tool_run twice = run_kxps({"--verbose", "KESTRA", "-V"}, dir.path);
    EXPECT_EQ(once.out, twice.out);
    EXPECT_EQ(twice.status, 0);
    EXPECT_NE(once.out, plain.out);
    scratch_dir empty;
    tool_run missing = run_kxps({}, empty.path);
    EXPECT_EQ(missing.out, "ERROR: can't open file: KESTRA\n");
}

TEST(Loading, IndexFailures)
{
    scratch_dir dir;
    // Too short for entries 8 and 9: nothing is dumped.
    std::string path = dir.write("a", byte_string(39, 0));
    tool_run run = run_kxps({path});
    EXPECT_EQ(run.out, "ERROR: can't read file: " + path + "\n");
    EXPECT_EQ(run.status, 1);
    // Entries 8 and 9 equal, or decreasing.
    for (std::uint32_t end : {100u, 99u}) {
        byte_string archive(200, 0);
        archive[32] = 100;
        archive[36] = static_cast<std::uint8_t>(end);
        path = dir.write("b", archive);
        run = run_kxps({"-V", path});
        EXPECT_EQ(run.out, "ERROR: illegal index table: " + path + "\n");
        EXPECT_EQ(run.status, 1);
    }
}

TEST(Loading, SectionBeyondTheEndOfTheFile)
{
    scratch_dir dir;
    for (std::uint32_t end : {0x101u, 0xFFFFFFFFu}) {
        byte_string archive(0x100, 0);
        archive[32] = 0x40;
        for (int k = 0; k < 4; ++k)
            archive[36 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(end >> (8 * k));
        std::string path = dir.write("c", archive);
        tool_run run = run_kxps({path});
        EXPECT_EQ(run.out, "ERROR: can't read file: " + path + "\n");
        EXPECT_EQ(run.status, 1);
        // The trace shows the claimed size before the section is refused.
        run = run_kxps({"-V", path});
        std::ostringstream expected;
        expected << "DEBUG: offset=00000040, size=" << std::uppercase << std::hex;
        expected.width(8);
        expected.fill('0');
        expected << end - 0x40 << "\nERROR: can't read file: " << path << "\n";
        EXPECT_EQ(run.out, expected.str());
    }
}

TEST(Loading, FailureInSection43KeepsSection8)
{
    scratch_dir dir;
    // Shorter than the index entries of section 43, but section 8 is whole.
    const byte_string section8 = build_section_with_ids({{5, {game_string("AB")}}});
    byte_string file(32, 0);
    put_u32(file, 40);
    put_u32(file, static_cast<std::uint32_t>(40 + section8.size()));
    file.insert(file.end(), section8.begin(), section8.end());
    ASSERT_LT(file.size(), 4u * 43 + 8);
    std::string path = dir.write("d", file);
    tool_run run = run_kxps({path});
    EXPECT_EQ(run.out, "[  8][  0][  0] = AB\nERROR: can't read file: " + path + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);

    // Section 8 complete, section 43 damaged: the dump of 8 stands before the message.
    byte_string damaged = archive_with(build_section_with_ids({{5, {game_string("AB")}}}), {0, 0});
    path = dir.write("e", damaged);
    run = run_kxps({path});
    EXPECT_EQ(run.out, "[  8][  0][  0] = AB\nERROR: buffer size error\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

TEST(Loading, EmptySectionsAreDumpedAsNothing)
{
    byte_string empty = {0, 0, 0, 0};
    tool_run run = dump_archive_bytes(archive_with(empty, empty));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "COMPLETED!\n");
    EXPECT_EQ(run.status, 0);
}

TEST(Output, FailedWritesAreFailures)
{
    scratch_dir dir;
    std::string path = dir.write("KESTRA", small_archive());
    for (const char* sink : {"/dev/full", "-"}) {
        tool_run run = run_kxps({path}, "", sink);
        EXPECT_EQ(run.err, "ERROR: can't write output\n") << sink;
        EXPECT_EQ(run.status, 1) << sink;
    }
    // A pipeline failure whose message could not be written either.
    std::string broken = dir.write("broken", byte_string(39, 0));
    tool_run run = run_kxps({broken}, "", "/dev/full");
    EXPECT_EQ(run.err, "ERROR: can't write output\n");
    EXPECT_EQ(run.status, 1);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Example, RegeneratesFromItsSourceAndDumpsAsRecorded)
{
    const std::string archive = read_file(KX_EXAMPLES_DIR "/KESTRA");
    const byte_string rebuilt = build_archive_from_text(read_file(KX_EXAMPLES_DIR "/kestra.txt"));
    EXPECT_EQ(archive, std::string(rebuilt.begin(), rebuilt.end()));

    tool_run run = run_kxps({KX_EXAMPLES_DIR "/KESTRA"});
    EXPECT_EQ(run.out, read_file(KX_TESTS_DIR "/golden/KESTRA.out"));
    EXPECT_EQ(run.err, "COMPLETED!\n");
    EXPECT_EQ(run.status, 0);
}

} // namespace
