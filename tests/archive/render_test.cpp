// How kxps_strings renders string bytes: the character map, two-byte codes, control
// bytes, line breaks with their indent, and strings that run out of data.
#include <gtest/gtest.h>

#include "tests/archive/kxps_util.h"

namespace {

// The dump line of string 0 of block 0 of section 8 for the stored bytes `s`.
std::string line_of(const byte_string& s, bool verbose = false)
{
    tool_run run = dump_archive_bytes(archive_of_strings({s}), verbose ? std::vector<std::string>{"-V"}
                                                                       : std::vector<std::string>{});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "COMPLETED!\n");
    if (verbose) { // drop the trace lines
        std::string kept;
        std::size_t at = 0;
        while (at < run.out.size()) {
            std::size_t nl = run.out.find('\n', at);
            std::string line = run.out.substr(at, nl + 1 - at);
            if (!line.starts_with("DEBUG: ") && !line.starts_with(" offset="))
                kept += line;
            at = nl + 1;
        }
        return kept;
    }
    return run.out;
}

const std::string prefix = "[  8][  0][  0] = ";

TEST(Render, SingleBytesAsciiAndMarks)
{
    EXPECT_EQ(line_of({0x1F}), prefix + "\n");
    EXPECT_EQ(line_of({0x41, 0x86, 0x1F}), prefix + "Aを\n");
    EXPECT_EQ(line_of({0x85, 0x1F}), prefix + "(85)※\n");
    EXPECT_EQ(line_of({0xA0, 0xFE, 0xFF, 0x1F}), prefix + "(A0)※(FE)※(FF)※\n");
    EXPECT_EQ(line_of({0x20, 0x7E, 0x5C, 0x90, 0xB0, 0xDE, 0xDF, 0xFD, 0x1F}), prefix + " ~\\ーー゛゜ん\n");
}

TEST(Render, TwoByteCodes)
{
    EXPECT_EQ(line_of({0x01, 0x79, 0x1F}), prefix + "(01)(79)※\n");
    EXPECT_EQ(line_of({0x04, 0xA8, 0x04, 0xFF, 0x1F}), prefix + "々(04)(FF)※\n");
    EXPECT_EQ(line_of({0x01, 0x00, 0x01, 0x41, 0x02, 0x39, 0x03, 0xCA, 0x04, 0x91, 0x1F}), prefix + "が一口二力\n");
    // A second byte is never an end, lead or control byte.
    EXPECT_EQ(line_of({0x01, 0x1F, 0x41, 0x1F}), prefix + "ジA\n");
    EXPECT_EQ(line_of({0x02, 0x01, 0x03, 0x00, 0x1F}), prefix + "芸信\n");
    // No state reaches across a second byte: a lead right after a lead's second byte.
    EXPECT_EQ(line_of({0x01, 0x02, 0x01, 0x03, 0x1F}), prefix + "ぐげ\n");
}

TEST(Render, ControlBytesPrintAsHexWithABlank)
{
    EXPECT_EQ(line_of({0x00, 0x41, 0x0A, 0x7F, 0x05, 0x1E, 0x1F}), prefix + "(00) A(0A) (7F) (05) (1E) \n");
}

TEST(Render, BackslashNBreaksTheLine)
{
    const std::string indent(18, ' ');
    EXPECT_EQ(line_of({0x5C, 0x6E, 0x41, 0x1F}), prefix + "\\n\n" + indent + "A\n");
    EXPECT_EQ(line_of({0x5C, 0x6E, 0x41, 0x1F}, true),
              "[  8][  0][  0] +00000010 = \\n\n" + std::string(28, ' ') + "A\n");
    // The end byte right after the n: no indent.
    EXPECT_EQ(line_of({0x5C, 0x6E, 0x1F}), prefix + "\\n\n");
    // The indent comes before a lead byte's character.
    EXPECT_EQ(line_of({0x5C, 0x6E, 0x01, 0x00, 0x1F}), prefix + "\\n\n" + indent + "が\n");
    // ... and before a control byte, and the backslash may follow another backslash.
    EXPECT_EQ(line_of({0x5C, 0x5C, 0x6E, 0x00, 0x1F}), prefix + "\\\\n\n" + indent + "(00) \n");
    // Two breaks in one string.
    EXPECT_EQ(line_of({0x5C, 0x6E, 0x5C, 0x6E, 0x42, 0x1F}), prefix + "\\n\n" + indent + "\\n\n" + indent + "B\n");
    // A second byte 0x5C or 0x6E takes no part in a line break.
    EXPECT_EQ(line_of({0x01, 0x5C, 0x6E, 0x41, 0x1F}), prefix + "屋nA\n");
    EXPECT_EQ(line_of({0x5C, 0x01, 0x6E, 0x41, 0x1F}), prefix + "\\我A\n");
    // Only an n right after the backslash counts.
    EXPECT_EQ(line_of({0x5C, 0x41, 0x6E, 0x42, 0x1F}), prefix + "\\AnB\n");
}

TEST(Render, VerbosePrefixShowsTheOffsetInTheSection)
{
    // Section 8's first string lies behind a 12-byte directory and a 4-byte block header.
    EXPECT_EQ(line_of({0x41, 0x1F}, true), "[  8][  0][  0] +00000010 = A\n");
    // A string at offset 0x123 of the section, wherever the section lies in the file.
    byte_string section;
    put_u32(section, 1);
    put_u32(section, 0);
    put_u32(section, 12);
    put_u16(section, 1);
    put_u16(section, 0x123 - 16);
    section.resize(0x123, 0);
    section.push_back(0x42);
    section.push_back(0x1F);
    tool_run run = dump_archive_bytes(archive_with(section, build_section_nested({})), {"-V"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("] +00000123 = B\n"), std::string::npos);
}

TEST(Render, StringThatRunsOutOfData)
{
    // No end byte: the string runs to the end of section 8, and section 43 is not dumped.
    tool_run run = dump_archive_bytes(archive_with(build_section_with_ids({{1, {{0x1F}, {0x41, 0x42}}}}),
                                                   build_section_nested({{0, {{0x43, 0x1F}}}})));
    EXPECT_EQ(run.out, "[  8][  0][  0] = \n[  8][  0][  1] = AB\nERROR: out of buffer\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
    // A lead byte on the last byte of the data.
    run = dump_archive_bytes(archive_of_strings({{0x41, 0x01}}));
    EXPECT_EQ(run.out, "[  8][  0][  0] = A\nERROR: out of buffer\n");
    EXPECT_EQ(run.status, 1);
    // A pending indent is not printed when the data ends.
    run = dump_archive_bytes(archive_of_strings({{0x5C, 0x6E}}));
    EXPECT_EQ(run.out, "[  8][  0][  0] = \\n\nERROR: out of buffer\n");
}

TEST(Render, PrefixesOfLaterSectionsAndWidePositions)
{
    std::vector<archive_block> blocks(13);
    blocks[12].strings = {{0x41, 0x1F}};
    tool_run run = dump_archive_bytes(archive_with(build_section_with_ids({}), build_section_nested(blocks)));
    EXPECT_EQ(run.out, "[ 43][ 12][  0] = A\n");
    EXPECT_EQ(run.status, 0);

    // String 1000 widens its prefix; the indent stays at 18 blanks.
    std::vector<byte_string> strings(1001, byte_string{0x1F});
    strings[1000] = {0x5C, 0x6E, 0x41, 0x1F};
    run = dump_archive_bytes(archive_of_strings(strings));
    const std::string last = "[  8][  0][1000] = \\n\n" + std::string(18, ' ') + "A\n";
    ASSERT_GE(run.out.size(), last.size());
    EXPECT_EQ(run.out.substr(run.out.size() - last.size()), last);
}

} // namespace
