// The three directory layouts: their bounds (checked without wrap-around), the parsed
// string positions, the trace lines and the failure messages.
#include <gtest/gtest.h>

#include "common/directory.h"
#include "common/frame.h"
#include "tests/support/archive_builder.h"

namespace {

enum class layout { a, b, c };

struct parse_result {
    int rc;
    std::string out;
    string_directory dir;
};

parse_result parse(layout l, const byte_string& bytes, bool verbose, std::uint64_t base = 0)
{
    static text_output out;
    out_init_memory(out);
    verbose_level = verbose ? 1 : 0;
    parse_result r{};
    std::span<const std::uint8_t> data(bytes);
    if (l == layout::a)
        r.rc = parse_directory_with_ids(data, base, out, r.dir);
    else if (l == layout::b)
        r.rc = parse_directory_nested(data, base, out, r.dir);
    else
        r.rc = parse_directory_packed(data, base, out, r.dir);
    verbose_level = 0;
    out_finish(out);
    r.out = out.kept;
    return r;
}

byte_string bytes_of(std::initializer_list<std::uint32_t> u32s)
{
    byte_string b;
    for (std::uint32_t v : u32s)
        put_u32(b, v);
    return b;
}

TEST(LayoutA, EmptyAndTruncatedDirectories)
{
    EXPECT_EQ(parse(layout::a, {0, 0, 0}, true).out, "ERROR: buffer size error\n");
    parse_result r = parse(layout::a, {0, 0, 0, 0}, true, 0x1234);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "DEBUG: +00001234 num_blocks = 0\n");
    // Two entries claimed, one present.
    r = parse(layout::a, bytes_of({2, 1, 12}), true);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.out, "DEBUG: +00000000 num_blocks = 2\nERROR: buffer size error\n");
}

TEST(LayoutA, OnlyTheLowHalfOfTheBlockCountCounts)
{
    // 65537 blocks stored: one is read. Its block (count 0) ends exactly at the end.
    byte_string s = bytes_of({0x10001, 0x80000000u, 12});
    put_u16(s, 0);
    parse_result r = parse(layout::a, s, true, 0x40);
    EXPECT_EQ(r.rc, 0);
    ASSERT_EQ(r.dir.num_blocks, 1);
    EXPECT_EQ(r.dir.blocks[0].id, 0x80000000u);
    EXPECT_EQ(r.out, "DEBUG: +00000040 num_blocks = 1\n"
                     "DEBUG: +00000044 [0] id=-2147483648 offset=0000000C\n"
                     "DEBUG: +0000004C [0] count=0\n");
    // Without the count's last byte the block header does not fit.
    s.pop_back();
    EXPECT_EQ(parse(layout::a, s, false).out, "ERROR: buffer size error\n");
}

TEST(LayoutA, StringsStartInsideTheBuffer)
{
    // One block of two strings; offsets count from the end of the offset list (18).
    byte_string s = bytes_of({1, 9, 12});
    put_u16(s, 2);
    put_u16(s, 1);
    put_u16(s, 0);
    s.push_back(0x41);
    s.push_back(0x1F); // the last byte: string 0 starts here
    parse_result r = parse(layout::a, s, true);
    EXPECT_EQ(r.rc, 0);
    ASSERT_EQ(r.dir.num_blocks, 1);
    EXPECT_EQ(string_start(s, r.dir.blocks[0], 0), 19u);
    EXPECT_EQ(string_start(s, r.dir.blocks[0], 1), 18u);
    EXPECT_EQ(r.out, "DEBUG: +00000000 num_blocks = 1\n"
                     "DEBUG: +00000004 [0] id=9 offset=0000000C\n"
                     "DEBUG: +0000000C [0] count=2\n"
                     "DEBUG: +0000000E [0][0] offset=0001\n"
                     "DEBUG: +00000010 [0][1] offset=0000\n");
    // One byte further is outside; the entry's trace line comes before the message.
    s[14] = 2;
    r = parse(layout::a, s, true);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.out.substr(r.out.find("DEBUG: +0000000E")),
              "DEBUG: +0000000E [0][0] offset=0002\nERROR: illegal code offset: 0014 = 0012 + 0002\n");
    // The message widens for large values.
    s[14] = 0xFF;
    s[15] = 0xFF;
    EXPECT_EQ(parse(layout::a, s, false).out, "ERROR: illegal code offset: 10011 = 0012 + FFFF\n");
}

TEST(LayoutA, HugeOffsetsDoNotWrap)
{
    // A block offset near 2^32 and an offset list that would wrap 32-bit arithmetic.
    for (std::uint32_t offset : {0xFFFFFFFFu, 0xFFFFFFFEu, 14u}) {
        byte_string s = bytes_of({1, 0, offset});
        put_u16(s, 0xFFFF);
        EXPECT_EQ(parse(layout::a, s, false).out, "ERROR: buffer size error\n") << offset;
    }
}

TEST(LayoutA, WholeDirectoryIsTracedBeforeTheFirstBlock)
{
    byte_string s = bytes_of({2, 1, 20, 2, 0x100});
    put_u16(s, 0);
    parse_result r = parse(layout::a, s, true);
    EXPECT_EQ(r.out, "DEBUG: +00000000 num_blocks = 2\n"
                     "DEBUG: +00000004 [0] id=1 offset=00000014\n"
                     "DEBUG: +0000000C [1] id=2 offset=00000100\n"
                     "DEBUG: +00000014 [0] count=0\n"
                     "ERROR: buffer size error\n");
}

TEST(LayoutB, TraceAndStringPositions)
{
    byte_string s = build_section_nested({{0, {{0x41, 0x1F}}}, {0, {}}});
    parse_result r = parse(layout::b, s, true, 0x100);
    EXPECT_EQ(r.rc, 0);
    ASSERT_EQ(r.dir.num_blocks, 2);
    EXPECT_EQ(r.dir.blocks[0].id, 0u);
    EXPECT_EQ(string_start(s, r.dir.blocks[0], 0), 20u);
    EXPECT_EQ(r.out, "DEBUG: +00000100 num_blocks = 2\n"
                     " offset=0000000C\n"
                     " offset=00000016\n"
                     "DEBUG: +0000010C [0] offset=00000004, +00000110\n"
                     "DEBUG: +00000110 [0] count=1\n"
                     "DEBUG: +00000112 [0][0] offset=0004, +00000114\n"
                     "DEBUG: +00000116 [1] offset=00000004, +0000011A\n"
                     "DEBUG: +0000011A [1] count=0\n");
}

TEST(LayoutB, BoundsAndMessages)
{
    // Entry table too short.
    EXPECT_EQ(parse(layout::b, bytes_of({3, 8, 8}), false).out, "ERROR: buffer size error\n");
    // Inner offset field past the end.
    EXPECT_EQ(parse(layout::b, bytes_of({1, 6}), false).out, "ERROR: buffer size error\n");
    // An inner offset that would wrap: the trace shows the true sum, then the size error.
    byte_string s = bytes_of({1, 8, 0xFFFFFFF8u});
    parse_result r = parse(layout::b, s, true, 0x10);
    EXPECT_EQ(r.out, "DEBUG: +00000010 num_blocks = 1\n"
                     " offset=00000008\n"
                     "DEBUG: +00000018 [0] offset=FFFFFFF8, +100000010\n"
                     "ERROR: buffer size error\n");
    // Count field whose list does not fit.
    s = bytes_of({1, 8, 4});
    put_u16(s, 1);
    EXPECT_EQ(parse(layout::b, s, false).out, "ERROR: buffer size error\n");
    // String offsets count from the count field: offset 4 is the last byte, 5 is outside.
    s.push_back(4);
    s.push_back(0);
    s.push_back(0x1F);
    EXPECT_EQ(parse(layout::b, s, false).rc, 0);
    s[14] = 5;
    EXPECT_EQ(parse(layout::b, s, false).out, "ERROR: illegal code offset: 0011 = 000C + 0005\n");
}

TEST(LayoutC, PackedDirectory)
{
    // Directory at 6: two blocks with 16-bit ids; block 0 holds one string, block 1 none.
    byte_string s = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    put_u16(s, 2);
    put_u16(s, 0xFFFF);
    put_u32(s, 20);
    put_u16(s, 7);
    put_u32(s, 25);
    put_u16(s, 1); // block 0 at 20
    put_u16(s, 0);
    s.push_back(0x55); // string at 24
    put_u16(s, 0);     // block 1 at 25, ending exactly at the end
    parse_result r = parse(layout::c, s, true, 6);
    EXPECT_EQ(r.rc, 0);
    ASSERT_EQ(r.dir.num_blocks, 2);
    EXPECT_EQ(r.dir.blocks[0].id, 0xFFFFu);
    EXPECT_EQ(string_start(s, r.dir.blocks[0], 0), 24u);
    EXPECT_EQ(r.out, "DEBUG: +00000006 num_blocks = 2\n"
                     "DEBUG: +00000008 [0] id=65535 offset=00000014\n"
                     "DEBUG: +0000000E [1] id=7 offset=00000019\n"
                     "DEBUG: +00000014 [0] count=1\n"
                     "DEBUG: +00000016 [0][0] offset=0000\n"
                     "DEBUG: +00000019 [1] count=0\n");
    // Every size error of layout C is a buffer overrun.
    s.pop_back();
    EXPECT_EQ(parse(layout::c, s, false).out, "ERROR: buffer overrun\n");
    EXPECT_EQ(parse(layout::c, s, false, s.size() - 1).out, "ERROR: buffer overrun\n");
    EXPECT_EQ(parse(layout::c, s, false, 6).rc, -1);
    s = {0, 0, 1, 0};
    EXPECT_EQ(parse(layout::c, s, false, 2).out, "ERROR: buffer overrun\n");
    EXPECT_EQ(parse(layout::c, {0, 0, 0, 0}, false, 2).rc, 0);
}

} // namespace
