// The node table and the block directory at the head of a packed file: their trace,
// the links that name no record, the rejected root, and the size checks.
#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

TEST(PackNodeTable, TraceShowsSymbolFormsAndRawLinkBytes)
{
    // Printable ASCII (0x20 to 0x7E) in brackets, every other symbol as two hex
    // digits and a blank; the parent, left and right bytes as read, 0xFF as 255.
    pack_bytes file;
    le16(file, 9);
    append(file, {0x20, 8, 0xFF, 0xFF});
    append(file, {0x7E, 8, 0xFF, 0xFF});
    append(file, {0x1F, 7, 0xFF, 0xFF});
    append(file, {0x7F, 7, 0xFF, 0xFF});
    append(file, {0x80, 6, 0xFF, 0xFF});
    append(file, {0x0A, 6, 0xFF, 0xFF});
    append(file, {0xFF, 7, 4, 5});
    append(file, {0x7C, 8, 2, 3});
    append(file, {0x41, 123, 0, 1}); // the root: its parent byte is shown, not used
    le16(file, 0);
    expect_completed(run_verbose(file),
                     "DEBUG: +00000000 num_nodes = 9\n"
                     "DEBUG: +00000002 [0] [ ]   8 255 255\n"
                     "DEBUG: +00000006 [1] [~]   8 255 255\n"
                     "DEBUG: +0000000A [2] 1F    7 255 255\n"
                     "DEBUG: +0000000E [3] 7F    7 255 255\n"
                     "DEBUG: +00000012 [4] 80    6 255 255\n"
                     "DEBUG: +00000016 [5] 0A    6 255 255\n"
                     "DEBUG: +0000001A [6] FF    7   4   5\n"
                     "DEBUG: +0000001E [7] [|]   8   2   3\n"
                     "DEBUG: +00000022 [8] [A] 123   0   1\n"
                     "DEBUG: +00000026 num_blocks = 0\n");
    // Without -V the tables print nothing.
    expect_completed(run_on(file), "");
}

TEST(PackNodeTable, LinksToNoRecordAreMissingChildren)
{
    // 0x06 0x40 = 00000 110 0 10: b b b b b a b, then 0 at record 4 (bit 2 of the
    // string's second byte). Whether record 4's left byte is 0xFF, the table size or
    // far beyond it, the string fails the same way.
    const std::uint32_t at = first_string_offset(6, 1);
    for (std::uint8_t left : {std::uint8_t{0xFF}, std::uint8_t{6}, std::uint8_t{9}, std::uint8_t{0xFE}}) {
        expect_failed(run_on(one_block(tree_with_gap(left), {{0x06, 0x40}})),
                      "[  0][  0] = bbbbbabERROR: left node is NULL: +" + hex8(at + 1) + ".2");
    }
    // The trace still shows the byte as stored.
    tool_run run = run_verbose(one_block(tree_with_gap(9), {{0xE0}}));
    EXPECT_NE(run.out.find("DEBUG: +00000012 [4] 00    5   9   3\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.status, 0);
}

TEST(PackNodeTable, LinkToTheLastRecordIsInRange)
{
    // Record 2's right byte names the root (index 3): the bits 11 lead back to the
    // root without a symbol. One more record index is outside the table.
    // Codes: x = 0, end mark = 10. 0x68 = 0 11 0 10 00: x, (back to root), x, end.
    std::vector<pack_record> records = {
        {'x', 3, 0xFF, 0xFF}, {'|', 2, 0xFF, 0xFF}, {0, 3, 1, 3}, {0, 0xFF, 0, 2}};
    expect_completed(run_on(one_block(records, {{0x68}})), "[  0][  0] = xx\n");
    records[2].right = 4;
    expect_failed(run_on(one_block(records, {{0x68}})),
                  "[  0][  0] = xERROR: right node is NULL: +" + hex8(first_string_offset(4, 1)) + ".2");
}

TEST(PackNodeTable, ParentBytesOutsideTheTableAreIgnored)
{
    std::vector<pack_record> records = {{'x', 200, 0xFF, 0xFF}, {'|', 0xFF, 0xFF, 0xFF}, {0, 77, 0, 1}};
    expect_completed(run_on(one_block(records, {{0x40}})), "[  0][  0] = x\n"); // 0 1
}

TEST(PackNodeTable, RootLeafOtherThanTheEndMarkIsRejectedAfterTheTrace)
{
    pack_bytes lone_leaf = one_block({{'A', 0xFF, 0xFF, 0xFF}}, {{0x00}});
    expect_failed(run_on(lone_leaf), "ERROR: illegal node table\n");
    expect_failed(run_verbose(lone_leaf), "DEBUG: +00000000 num_nodes = 1\n"
                                          "DEBUG: +00000002 [0] [A] 255 255 255\n"
                                          "ERROR: illegal node table\n");
    // A root whose only links name no record is a leaf as well.
    pack_bytes dangling = one_block({{'|', 1, 0xFF, 0xFF}, {'A', 0xFF, 2, 200}}, {{0x00}});
    expect_failed(run_on(dangling), "ERROR: illegal node table\n");
}

TEST(PackNodeTable, RootThatIsTheEndMarkMakesEveryStringEmpty)
{
    pack_bytes file = one_block({{'|', 0xFF, 0xFF, 0xFF}}, {{0xFF}, {0x00}});
    expect_completed(run_on(file), "[  0][  0] = \n[  0][  1] = \n");
    // The end mark takes no bit, so its listing line is empty and carries no indent.
    tool_run run = run_verbose(file);
    EXPECT_EQ(run.out.substr(run.out.find("[  0][  0]")),
              "[  0][  0] +00000014 = \n\n[  0][  1] +00000015 = \n\n");
    EXPECT_EQ(run.status, 0);
}

TEST(PackDirectory, TablesThatDoNotFitTheFile)
{
    const std::string overrun = "ERROR: buffer overrun\n";
    // 3 records announced, 2 stored: no record is traced.
    pack_bytes short_table;
    le16(short_table, 3);
    append(short_table, {'|', 0xFF, 0xFF, 0xFF, 'A', 0xFF, 0xFF, 0xFF});
    expect_failed(run_verbose(short_table), "DEBUG: +00000000 num_nodes = 3\n" + overrun);
    // The table ends at the end of the file: no room for the block count.
    pack_bytes table_only;
    le16(table_only, 1);
    append(table_only, {'|', 0xFF, 0xFF, 0xFF});
    expect_failed(run_verbose(table_only),
                  "DEBUG: +00000000 num_nodes = 1\nDEBUG: +00000002 [0] [|] 255 255 255\n" + overrun);
    // Two directory entries announced, one stored.
    pack_bytes short_directory = {0, 0};
    le16(short_directory, 2);
    le16(short_directory, 5);
    le32(short_directory, 2);
    expect_failed(run_verbose(short_directory),
                  "DEBUG: +00000000 num_nodes = 0\nDEBUG: +00000002 num_blocks = 2\n" + overrun);
}

TEST(PackDirectory, BlocksAndStringOffsetsAreCheckedAgainstTheFileSize)
{
    const std::string overrun = "ERROR: buffer overrun\n";
    // Directory: one block, id 9, whose header starts at `offset`.
    auto with_block_at = [](std::uint32_t offset, std::initializer_list<std::uint8_t> tail) {
        pack_bytes file = {0, 0, 1, 0, 9, 0};
        le32(file, offset);
        append(file, tail);
        return file;
    };
    // A count field that ends exactly at the end of the file, with count 0, is fine.
    expect_completed(run_on(with_block_at(10, {0, 0})), "");
    expect_failed(run_on(with_block_at(11, {0, 0})), overrun);
    expect_failed(run_on(with_block_at(0xFFFFFFFF, {0, 0})), overrun); // no wrap-around
    // Two string offsets announced, one stored.
    expect_failed(run_on(with_block_at(10, {2, 0, 0, 0})), overrun);
    // Strings count from the byte after the list (16): offset 1 is the last byte.
    pack_bytes last_byte = with_block_at(10, {2, 0, 0, 0, 1, 0, 0x7C, 0x7C});
    expect_completed(run_on(last_byte), "[  0][  0] = \n[  0][  1] = \n");
    expect_failed(run_on(with_block_at(10, {2, 0, 0, 0, 2, 0, 0x7C, 0x7C})),
                  "ERROR: illegal code offset: 0012 = 0010 + 0002\n");
    expect_failed(run_verbose(with_block_at(10, {1, 0, 0xFF, 0xFF, 0x7C})),
                  "DEBUG: +00000000 num_nodes = 0\n"
                  "DEBUG: +00000002 num_blocks = 1\n"
                  "DEBUG: +00000004 [0] id=9 offset=0000000A\n"
                  "DEBUG: +0000000A [0] count=1\n"
                  "DEBUG: +0000000C [0][0] offset=FFFF\n"
                  "ERROR: illegal code offset: 1000D = 000E + FFFF\n");
}

} // namespace
