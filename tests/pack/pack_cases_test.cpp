// Hand-built files whose expected dumps are written out by hand, so that a fault
// shared by the test encoders and the decoder cannot hide.
#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

pack_bytes huff(const std::vector<pack_record>& records, const std::vector<pack_bytes>& strings)
{
    return build_pack(records, {pack_block{0, strings}});
}

pack_bytes chained(const std::vector<pack_bytes>& strings) { return build_pack({}, {pack_block{4, strings}}); }

// Codes: A = 000, B = 001, C = 01, line feed = 10, end mark = 11.
const std::vector<pack_record> five = {
    {'A', 5, 0xFF, 0xFF}, {'B', 5, 0xFF, 0xFF}, {'C', 6, 0xFF, 0xFF}, {0x0A, 7, 0xFF, 0xFF}, {'|', 7, 0xFF, 0xFF},
    {0, 6, 0, 1},         {0, 8, 5, 2},         {0, 8, 3, 4},         {0, 0xFF, 6, 7},
};

// Codes: b = 0, a = 110, end mark = 111; the bits 10 reach the left side of record 4,
// stored as `left`. Its second string sits at 0x100: 00000 110 0|10 = bbbbbab, then
// the 0 at bit 2 of byte 0x101 finds no left child. The first string is an end mark.
pack_bytes gap_at_0x101(std::uint8_t left)
{
    const std::vector<pack_record> records = {{'b', 5, 0xFF, 0xFF}, {'a', 3, 0xFF, 0xFF}, {'|', 3, 0xFF, 0xFF},
                                              {0, 4, 1, 2},         {0, 5, left, 3},      {0, 0xFF, 0, 4}};
    pack_bytes first(0x100 - 40, 0);
    first[0] = 0xE0;
    return huff(records, {first, {0x06, 0x40}});
}

TEST(PackCases, HuffmanCodedFiles)
{
    const pack_bytes worked = {0x05, 0x00, 0x48, 0x02, 0xFF, 0xFF, 0x69, 0x02, 0xFF, 0xFF, 0x00, 0x04,
                               0x00, 0x01, 0x7C, 0x04, 0xFF, 0xFF, 0x00, 0xFF, 0x02, 0x03, 0x01, 0x00,
                               0x07, 0x00, 0x1E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x18};
    std::vector<pack_record> no_right = five;
    no_right[7].right = 0xFF;
    // Codes: x = 0, end mark = 10; 11 leads back to the root (the last record).
    std::vector<pack_record> loop = {{'x', 200, 0xFF, 0xFF}, {'|', 2, 0xFF, 0xFF}, {0, 77, 1, 3}, {0, 0xFF, 0, 2}};
    const pack_bytes looped = huff(loop, {{0x68}}); // 0 11 0 10: x, root, x, end
    loop[2].right = 4;
    const pack_bytes lone_leaf = huff({{'A', 0xFF, 0xFF, 0xFF}}, {{0x00}});
    // A, line feed, B | C, line feed | nothing.
    const pack_bytes lines = huff(five, {{0x11, 0xC0}, {0x6C}, {0xC0}});
    const std::string left_null = "[  0][  0] = \n[  0][  1] = bbbbbabERROR: left node is NULL: +00000101.2";

    run_cases({
        {"worked example", worked, normal, "[  0][  0] = Hi\n", done, 0},
        {"worked example, verbose", worked, verbose,
         "DEBUG: +00000000 num_nodes = 5\n"
         "DEBUG: +00000002 [0] [H]   2 255 255\n"
         "DEBUG: +00000006 [1] [i]   2 255 255\n"
         "DEBUG: +0000000A [2] 00    4   0   1\n"
         "DEBUG: +0000000E [3] [|]   4 255 255\n"
         "DEBUG: +00000012 [4] 00  255   2   3\n"
         "DEBUG: +00000016 num_blocks = 1\n"
         "DEBUG: +00000018 [0] id=7 offset=0000001E\n"
         "DEBUG: +0000001E [0] count=1\n"
         "DEBUG: +00000020 [0][0] offset=0000\n"
         "[  0][  0] +00000022 = Hi\n" + indent23 + "00,01,1\n", done, 0},
        {"code word across bytes", huff(five, {{0x54, 0x60}}), normal, "[  0][  0] = CCCA\n", done, 0},
        {"end mark on the last bit of the file", huff(five, {{0xC0}, {0x57}}), normal,
         "[  0][  0] = \n[  0][  1] = CCC\nERROR: buffer overrun\n", "", 1},
        {"missing left child", gap_at_0x101(0xFF), normal, left_null, "", 1},
        {"left link equal to the record count", gap_at_0x101(6), normal, left_null, "", 1},
        {"left link far beyond the table", gap_at_0x101(0xFE), normal, left_null, "", 1},
        {"missing right child", huff(no_right, {{0x46}}), normal,
         "[  0][  0] = CAERROR: right node is NULL: +00000032.6", "", 1},
        {"link to the last record, parents outside", looped, normal, "[  0][  0] = xx\n", done, 0},
        {"link one beyond the last record", huff(loop, {{0x68}}), normal,
         "[  0][  0] = xERROR: right node is NULL: +0000001E.2", "", 1},
        {"trace forms", build_pack({{0x20, 5, 0xFF, 0xFF}, {0x7E, 5, 0xFF, 0xFF}, {0x1F, 4, 0, 1},
                                    {0x7F, 4, 0xFF, 0xFF}, {0x80, 5, 2, 3}, {'A', 123, 4, 0}}, {}),
         verbose,
         "DEBUG: +00000000 num_nodes = 6\n"
         "DEBUG: +00000002 [0] [ ]   5 255 255\n"
         "DEBUG: +00000006 [1] [~]   5 255 255\n"
         "DEBUG: +0000000A [2] 1F    4   0   1\n"
         "DEBUG: +0000000E [3] 7F    4 255 255\n"
         "DEBUG: +00000012 [4] 80    5   2   3\n"
         "DEBUG: +00000016 [5] [A] 123   4   0\n"
         "DEBUG: +0000001A num_blocks = 0\n", done, 0},
        {"root leaf", lone_leaf, normal, "ERROR: illegal node table\n", "", 1},
        {"root leaf, verbose", lone_leaf, verbose,
         "DEBUG: +00000000 num_nodes = 1\nDEBUG: +00000002 [0] [A] 255 255 255\nERROR: illegal node table\n", "", 1},
        {"root whose links name no record", huff({{'|', 1, 0xFF, 0xFF}, {'A', 0xFF, 2, 200}}, {{0x00}}), normal,
         "ERROR: illegal node table\n", "", 1},
        {"root is the end mark", huff({{'|', 0xFF, 0xFF, 0xFF}}, {{0xFF}, {0x00}}), verbose,
         "...\n[  0][  0] +00000014 = \n\n[  0][  1] +00000015 = \n\n", done, 0},
        {"line feeds", lines, normal, "[  0][  0] = A\n" + indent13 + "B\n[  0][  1] = C\n\n[  0][  2] = \n", done, 0},
        {"line feeds, verbose", lines, verbose,
         "...\n[  0][  0] +00000036 = A\n" + indent23 + "B\n" + indent23 + "000,10,\n" + indent23 + "001,11\n"
         "[  0][  1] +00000038 = C\n" + indent23 + "01,10,\n" + indent23 + "11\n"
         "[  0][  2] +00000039 = \n" + indent23 + "11\n", done, 0},
    });
}

TEST(PackCases, XorChainedFiles)
{
    const pack_bytes lines = chained({xor_encode("AB\nCD"), xor_encode("E\n")});
    pack_bytes lead_last = xor_encode("A\x82");
    lead_last.pop_back();
    // Every lead byte range edge takes 0x7C as a trail; the single bytes next to
    // the ranges stand alone, so the 0x7C after them ends the string.
    std::vector<pack_bytes> singles = {xor_encode("\x81|\x9F|\xE0|\xFC|x")};
    std::string singles_out = "[  0][  0] = \x81|\x9F|\xE0|\xFC|x\n";
    for (const char* single : {"\x80", "\xA0", "\xDF", "\xFD", "\xFF"}) {
        singles.push_back(xor_encode(std::string(single) + "|tail"));
        singles_out += "[  0][  " + std::to_string(singles.size() - 1) + "] = " + single + "\n";
    }
    const std::string trails = "\x81\x40\x81\x7E\x81\x80\xFC\xFC" "z";

    std::vector<pack_case> cases = {
        {"running value", chained({{0x41, 0x03, 0x3E}, {0x7C}}), normal, "[  0][  0] = AB\n[  0][  1] = \n", done, 0},
        {"line feeds", lines, normal, "[  0][  0] = AB\n" + indent13 + "CD\n[  0][  1] = E\n\n", done, 0},
        {"line feeds, verbose", lines, verbose,
         "...\n[  0][  0] +00000010 = AB\n" + indent23 + "CD\n[  0][  1] +00000016 = E\n\n", done, 0},
        {"end mark as trail byte", chained(singles), normal, singles_out, done, 0},
        {"trail bytes at the range edges", chained({xor_encode(trails)}), normal, "[  0][  0] = " + trails + "\n",
         done, 0},
        {"lead byte last in the file", chained({lead_last}), normal, "[  0][  0] = A\x82\nERROR: buffer overrun\n",
         "", 1},
    };
    for (const char bad : {'\x7F', '\x3F', '\xFD'}) {
        const std::string text = std::string("A\x82") + bad;
        cases.push_back({"trail byte " + hex8(static_cast<std::uint8_t>(bad)).substr(6),
                         chained({xor_encode("ok"), xor_encode(text + "x")}), normal,
                         "[  0][  0] = ok\n[  0][  1] = " + text + "ERROR: illegal shift jis encoding\n", "", 1});
    }
    run_cases(cases);
}

} // namespace
