// The character map's structure: one three-byte character per entry, the 104 marks
// exactly where codes have no character, no character twice but ー, the kana
// relations between codes, and the look-alike characters.
#include "archive_strings/char_map.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr std::size_t single(unsigned code) { return code - 0x80u; }
constexpr std::size_t pair(unsigned lead, unsigned second) { return 128u + (lead - 1u) * 256u + second; }

// Code point of a three-byte UTF-8 character, 0 for anything else.
std::uint32_t cp_at(std::size_t index)
{
    const std::string_view e = char_map.at(index);
    const auto b = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(e[k])); };
    if (e.size() != 3 || (b(0) & 0xF0) != 0xE0 || (b(1) & 0xC0) != 0x80 || (b(2) & 0xC0) != 0x80)
        return 0;
    return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
}

bool is_mark(std::size_t index) { return char_map.at(index) == char_map_mark; }

TEST(CharMap, EveryEntryIsOneCharacterAndTheMarksAreExactlyTheCodesWithout)
{
    std::set<std::size_t> marks = {single(0xA0), single(0xFE), single(0xFF), pair(1, 0x79), pair(1, 0x86),
                                   pair(1, 0x91), pair(2, 0x46), pair(3, 0x06), pair(3, 0x20), pair(3, 0x38),
                                   pair(4, 0x8D)};
    for (unsigned c = 0x80; c <= 0x85; ++c)
        marks.insert(single(c));
    for (unsigned t = 0xA9; t <= 0xFF; ++t)
        marks.insert(pair(4, t));
    ASSERT_EQ(marks.size(), 104u);
    ASSERT_EQ(char_map.size(), 1152u);
    EXPECT_EQ(char_map_mark, "\xE2\x80\xBB");
    for (std::size_t i = 0; i < char_map.size(); ++i) {
        EXPECT_NE(cp_at(i), 0u) << "entry " << i;
        EXPECT_EQ(is_mark(i), marks.count(i) == 1) << "entry " << i << " holds " << char_map[i];
    }
}

TEST(CharMap, NoCharacterTwiceButTheProlongedSoundMark)
{
    std::map<std::uint32_t, std::vector<std::size_t>> where;
    for (std::size_t i = 0; i < char_map.size(); ++i)
        if (!is_mark(i))
            where[cp_at(i)].push_back(i);
    for (const auto& [cp, entries] : where)
        if (cp != 0x30FC) {
            EXPECT_EQ(entries.size(), 1u) << "U+" << std::hex << cp << " at entries " << entries.front()
                                          << " and " << entries.back();
        }
    EXPECT_EQ(where[0x30FC], (std::vector<std::size_t>{single(0x90), single(0xB0)}));
}

TEST(CharMap, KanaRelations)
{
    // The hiragana of the katakana at code c lies at c XOR 0x20.
    for (unsigned c = 0xA6; c <= 0xDD; ++c) {
        if (c == 0xB0)
            continue;
        EXPECT_GE(cp_at(single(c)), 0x30A1u) << std::hex << c;
        EXPECT_EQ(cp_at(single(c)), cp_at(single(c ^ 0x20u)) + 0x60) << std::hex << c;
    }
    // Large katakana in syllabary order, which Unicode shares.
    for (unsigned c = 0xB2; c <= 0xDD; ++c)
        EXPECT_LT(cp_at(single(c - 1)), cp_at(single(c))) << std::hex << c;
    // Voiced and half-voiced hiragana が..ぽ, then the same katakana.
    for (unsigned t = 0x00; t <= 0x18; ++t) {
        EXPECT_EQ(cp_at(pair(1, t + 25)), cp_at(pair(1, t)) + 0x60) << std::hex << t;
        if (t > 0 && t != 0x14) {
            EXPECT_LT(cp_at(pair(1, t - 1)), cp_at(pair(1, t))) << std::hex << t;
        }
    }
    EXPECT_EQ(cp_at(pair(1, 0x00)), 0x304Cu); // が
    EXPECT_EQ(cp_at(pair(1, 0x14)), 0x3071u); // ぱ
}

TEST(CharMap, IdeographsAndSpotChecks)
{
    std::size_t ideographs = 0;
    for (std::size_t i = pair(1, 0x32); i <= pair(4, 0xA7); ++i) {
        if (is_mark(i))
            continue;
        ++ideographs;
        EXPECT_TRUE(cp_at(i) >= 0x4E00 && cp_at(i) <= 0x9FFF) << "entry " << i;
    }
    EXPECT_EQ(ideographs, 878u);
    const std::pair<std::size_t, std::uint32_t> spots[] = {
        // Look-alikes: ー 一, ロ 口, エ 工, カ 力, タ 夕, ニ 二, へ ヘ, べ ベ, ぺ ペ.
        {single(0xB0), 0x30FC}, {pair(1, 0x41), 0x4E00}, {single(0xDB), 0x30ED}, {pair(2, 0x39), 0x53E3},
        {single(0xB4), 0x30A8}, {pair(2, 0x3D), 0x5DE5}, {single(0xB6), 0x30AB}, {pair(4, 0x91), 0x529B},
        {single(0xC0), 0x30BF}, {pair(4, 0x71), 0x5915}, {single(0xC6), 0x30CB}, {pair(3, 0xCA), 0x4E8C},
        {single(0xED), 0x3078}, {single(0xCD), 0x30D8}, {pair(1, 0x12), 0x3079}, {pair(1, 0x2B), 0x30D9},
        {pair(1, 0x17), 0x307A}, {pair(1, 0x30), 0x30DA},
        // Punctuation, voicing marks, the first and last ideographs and 々.
        {single(0xA1), 0x3002}, {single(0xA2), 0x300C}, {single(0xA3), 0x300D}, {single(0xA4), 0x3001},
        {single(0xA5), 0x30FB}, {single(0xDE), 0x309B}, {single(0xDF), 0x309C}, {single(0x86), 0x3092},
        {pair(1, 0x32), 0x611B}, {pair(2, 0x00), 0x8B66}, {pair(3, 0x00), 0x4FE1}, {pair(4, 0xA7), 0x8155},
        {pair(4, 0xA8), 0x3005},
    };
    for (const auto& [entry, cp] : spots)
        EXPECT_EQ(cp_at(entry), cp) << "entry " << entry;
}

} // namespace
