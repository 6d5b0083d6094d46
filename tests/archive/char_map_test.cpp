#include "archive_strings/char_map.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Entry index of a single-byte code 0x80..0xFF.
constexpr std::size_t single(unsigned code) { return code - 0x80u; }

// Entry index of the two-byte code lead (0x01..0x04), second byte (0x00..0xFF).
constexpr std::size_t pair(unsigned lead, unsigned second) {
    return 128u + (lead - 1u) * 256u + second;
}

// Human-readable code of an entry index, for failure messages.
std::string code_name(std::size_t index) {
    char buf[32];
    if (index < 128) {
        std::snprintf(buf, sizeof buf, "0x%02zX", index + 0x80);
    } else {
        std::snprintf(buf, sizeof buf, "0x%02zX 0x%02zX", (index - 128) / 256 + 1,
                      (index - 128) % 256);
    }
    return buf;
}

std::string hex_cp(std::uint32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

struct decoded {
    std::uint32_t cp;
    std::size_t length;
};

// Decodes the first UTF-8 sequence of text. Rejects truncated sequences, bad
// continuation bytes, overlong forms, surrogates and values above U+10FFFF.
std::optional<decoded> decode_utf8(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if (b0 < 0x80) {
        return decoded{b0, 1};
    } else if ((b0 & 0xE0u) == 0xC0u) {
        length = 2;
        cp = b0 & 0x1Fu;
        min = 0x80;
    } else if ((b0 & 0xF0u) == 0xE0u) {
        length = 3;
        cp = b0 & 0x0Fu;
        min = 0x800;
    } else if ((b0 & 0xF8u) == 0xF0u) {
        length = 4;
        cp = b0 & 0x07u;
        min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0u) != 0x80u) return std::nullopt;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return decoded{cp, length};
}

// Code point of an entry that holds exactly one well-formed character, else nullopt.
std::optional<std::uint32_t> sole_code_point(std::string_view text) {
    const auto d = decode_utf8(text);
    if (!d || d->length != text.size()) return std::nullopt;
    return d->cp;
}

// Code point of an entry; 0 when the entry is not a single character (a
// preceding test reports that case).
std::uint32_t cp_at(std::size_t index) {
    return sole_code_point(char_map.at(index)).value_or(0);
}

bool is_mark(std::size_t index) { return char_map.at(index) == char_map_mark; }

bool is_hiragana(std::uint32_t cp) { return cp >= 0x3041 && cp <= 0x3096; }
bool is_katakana(std::uint32_t cp) { return cp >= 0x30A1 && cp <= 0x30FA; }
bool is_unified_ideograph(std::uint32_t cp) { return cp >= 0x4E00 && cp <= 0x9FFF; }

constexpr std::uint32_t prolonged_sound_mark = 0x30FC;  // ー

// Codes that have no character.
std::set<std::size_t> expected_mark_entries() {
    std::set<std::size_t> marks;
    for (unsigned c = 0x80; c <= 0x85; ++c) marks.insert(single(c));
    marks.insert(single(0xA0));
    marks.insert(single(0xFE));
    marks.insert(single(0xFF));
    marks.insert(pair(0x01, 0x79));
    marks.insert(pair(0x01, 0x86));
    marks.insert(pair(0x01, 0x91));
    marks.insert(pair(0x02, 0x46));
    marks.insert(pair(0x03, 0x06));
    marks.insert(pair(0x03, 0x20));
    marks.insert(pair(0x03, 0x38));
    marks.insert(pair(0x04, 0x8D));
    for (unsigned t = 0xA9; t <= 0xFF; ++t) marks.insert(pair(0x04, t));
    return marks;
}

TEST(CharMap, HasOneEntryPerCode) {
    EXPECT_EQ(char_map_size, 1152u);
    EXPECT_EQ(char_map.size(), 1152u);
    EXPECT_EQ(pair(0x01, 0x00), 128u);
    EXPECT_EQ(pair(0x04, 0xFF), char_map.size() - 1);
}

TEST(CharMap, MarkIsReferenceMark) {
    EXPECT_EQ(char_map_mark, "\xE2\x80\xBB");
    EXPECT_EQ(sole_code_point(char_map_mark), std::optional<std::uint32_t>{0x203B});
}

TEST(CharMap, EveryEntryIsOneThreeByteCharacter) {
    for (std::size_t i = 0; i < char_map.size(); ++i) {
        const std::string_view e = char_map[i];
        EXPECT_EQ(e.size(), 3u) << "code " << code_name(i);
        EXPECT_TRUE(sole_code_point(e).has_value())
            << "code " << code_name(i) << " is not one well-formed UTF-8 character";
    }
}

TEST(CharMap, MarkEntriesAreExactlyTheCodesWithoutCharacter) {
    const auto expected = expected_mark_entries();
    ASSERT_EQ(expected.size(), 104u);
    std::size_t count = 0;
    for (std::size_t i = 0; i < char_map.size(); ++i) {
        if (is_mark(i)) ++count;
        EXPECT_EQ(is_mark(i), expected.count(i) == 1)
            << "code " << code_name(i) << " holds " << char_map[i];
    }
    EXPECT_EQ(count, 104u);
}

TEST(CharMap, CharactersAreUniqueExceptProlongedSoundMark) {
    std::map<std::uint32_t, std::vector<std::size_t>> where;
    for (std::size_t i = 0; i < char_map.size(); ++i) {
        if (is_mark(i)) continue;
        where[cp_at(i)].push_back(i);
    }
    for (const auto& [cp, indices] : where) {
        if (cp == prolonged_sound_mark) continue;
        EXPECT_EQ(indices.size(), 1u) << hex_cp(cp) << " first at " << code_name(indices.front())
                                      << ", again at " << code_name(indices.back());
    }
    const std::vector<std::size_t> prolonged{single(0x90), single(0xB0)};
    EXPECT_EQ(where[prolonged_sound_mark], prolonged);
    EXPECT_EQ(where.count(0x203B), 0u) << "the mark must not be spelled another way";
}

TEST(CharMap, HiraganaMirrorsKatakanaAtCodeXor20) {
    for (unsigned c = 0xA6; c <= 0xDD; ++c) {
        if (c == 0xB0) continue;
        const std::uint32_t kata = cp_at(single(c));
        const std::uint32_t hira = cp_at(single(c ^ 0x20u));
        EXPECT_TRUE(is_katakana(kata)) << code_name(single(c)) << " " << hex_cp(kata);
        EXPECT_TRUE(is_hiragana(hira)) << code_name(single(c ^ 0x20u)) << " " << hex_cp(hira);
        EXPECT_EQ(kata, hira + 0x60) << "codes " << code_name(single(c)) << " and "
                                     << code_name(single(c ^ 0x20u));
    }
}

TEST(CharMap, KatakanaFollowJisX0201Order) {
    // Large katakana ア..ン (0xB1..0xDD) are in syllabary order, which Unicode shares.
    for (unsigned c = 0xB2; c <= 0xDD; ++c) {
        EXPECT_LT(cp_at(single(c - 1)), cp_at(single(c))) << "at " << code_name(single(c));
    }
    // ァィゥェォ ascend; every small katakana sits one below its large form.
    for (unsigned c = 0xA8; c <= 0xAB; ++c) {
        EXPECT_LT(cp_at(single(c - 1)), cp_at(single(c))) << "at " << code_name(single(c));
    }
    std::set<std::uint32_t> large;
    for (unsigned c = 0xB1; c <= 0xDD; ++c) large.insert(cp_at(single(c)));
    for (unsigned c = 0xA7; c <= 0xAF; ++c) {
        EXPECT_EQ(large.count(cp_at(single(c)) + 1), 1u)
            << code_name(single(c)) << " is not a small form of a large katakana";
    }
    EXPECT_EQ(cp_at(single(0xA6)), 0x30F2u);  // ヲ
    EXPECT_EQ(cp_at(single(0xB1)), 0x30A2u);  // ア
    EXPECT_EQ(cp_at(single(0xDD)), 0x30F3u);  // ン
}

TEST(CharMap, VoicedKanaPairUp) {
    std::set<std::uint32_t> plain_hiragana;
    for (std::size_t i = 0; i < 128; ++i) {
        if (is_hiragana(cp_at(i))) plain_hiragana.insert(cp_at(i));
    }
    for (unsigned t = 0x00; t <= 0x18; ++t) {
        const std::uint32_t hira = cp_at(pair(0x01, t));
        const std::uint32_t kata = cp_at(pair(0x01, t + 25));
        EXPECT_TRUE(is_hiragana(hira)) << code_name(pair(0x01, t)) << " " << hex_cp(hira);
        EXPECT_EQ(kata, hira + 0x60) << "codes " << code_name(pair(0x01, t)) << " and "
                                     << code_name(pair(0x01, t + 25));
        // The plain kana lies in the single-byte codes, the voiced one does not.
        EXPECT_EQ(plain_hiragana.count(hira), 0u) << code_name(pair(0x01, t));
        if (t < 0x14) {
            // が..ぼ: the voiced kana is its plain kana + 1, in syllabary order.
            EXPECT_EQ(plain_hiragana.count(hira - 1), 1u)
                << code_name(pair(0x01, t)) << " " << hex_cp(hira) << " is no voiced kana";
            if (t > 0) {
                EXPECT_LT(cp_at(pair(0x01, t - 1)), hira) << "at " << code_name(pair(0x01, t));
            }
        } else {
            // ぱ..ぽ: the half-voiced kana follows the voiced ば..ぼ of 0x01 0x0F..0x13.
            EXPECT_EQ(hira, cp_at(pair(0x01, t - 5)) + 1)
                << code_name(pair(0x01, t)) << " " << hex_cp(hira) << " is no half-voiced kana";
            EXPECT_EQ(plain_hiragana.count(hira - 2), 1u) << code_name(pair(0x01, t));
        }
    }
    EXPECT_EQ(cp_at(pair(0x01, 0x00)), 0x304Cu);  // が
    EXPECT_EQ(cp_at(pair(0x01, 0x18)), 0x307Du);  // ぽ
    EXPECT_EQ(cp_at(pair(0x01, 0x19)), 0x30ACu);  // ガ
    EXPECT_EQ(cp_at(pair(0x01, 0x31)), 0x30DDu);  // ポ
}

TEST(CharMap, IdeographRange) {
    std::size_t ideographs = 0;
    std::size_t marks = 0;
    for (std::size_t i = pair(0x01, 0x32); i <= pair(0x04, 0xA7); ++i) {
        if (is_mark(i)) {
            ++marks;
            continue;
        }
        ++ideographs;
        EXPECT_TRUE(is_unified_ideograph(cp_at(i))) << code_name(i) << " " << hex_cp(cp_at(i));
    }
    EXPECT_EQ(ideographs, 878u);
    EXPECT_EQ(marks, 8u);
    EXPECT_EQ(cp_at(pair(0x04, 0xA8)), 0x3005u);  // 々
    EXPECT_EQ(cp_at(pair(0x01, 0x32)), 0x611Bu);  // 愛, first ideograph
    EXPECT_EQ(cp_at(pair(0x04, 0xA7)), 0x8155u);  // 腕, last ideograph
}

TEST(CharMap, LookAlikesAreDistinctCharacters) {
    struct spot {
        std::size_t index;
        std::uint32_t cp;
    };
    const spot spots[] = {
        {single(0x90), 0x30FC},      {single(0xB0), 0x30FC},      {pair(0x01, 0x41), 0x4E00},
        {single(0xDB), 0x30ED},      {pair(0x02, 0x39), 0x53E3},  {single(0xB4), 0x30A8},
        {pair(0x02, 0x3D), 0x5DE5},  {single(0xB6), 0x30AB},      {pair(0x04, 0x91), 0x529B},
        {single(0xC0), 0x30BF},      {pair(0x04, 0x71), 0x5915},  {single(0xC6), 0x30CB},
        {pair(0x03, 0xCA), 0x4E8C},  {single(0xED), 0x3078},      {single(0xCD), 0x30D8},
        {pair(0x01, 0x12), 0x3079},  {pair(0x01, 0x2B), 0x30D9},  {pair(0x01, 0x17), 0x307A},
        {pair(0x01, 0x30), 0x30DA},
    };
    for (const auto& s : spots) {
        EXPECT_EQ(cp_at(s.index), s.cp) << "code " << code_name(s.index) << " holds "
                                        << hex_cp(cp_at(s.index)) << ", wants " << hex_cp(s.cp);
    }
}

TEST(CharMap, PunctuationAndVoicingMarks) {
    EXPECT_EQ(cp_at(single(0xA1)), 0x3002u);  // 。
    EXPECT_EQ(cp_at(single(0xA2)), 0x300Cu);  // 「
    EXPECT_EQ(cp_at(single(0xA3)), 0x300Du);  // 」
    EXPECT_EQ(cp_at(single(0xA4)), 0x3001u);  // 、
    EXPECT_EQ(cp_at(single(0xA5)), 0x30FBu);  // ・
    EXPECT_EQ(cp_at(single(0xDE)), 0x309Bu);  // ゛
    EXPECT_EQ(cp_at(single(0xDF)), 0x309Cu);  // ゜
}

TEST(CharMap, SpotChecks) {
    EXPECT_EQ(cp_at(single(0x86)), 0x3092u);      // を
    EXPECT_EQ(cp_at(single(0xFD)), 0x3093u);      // ん
    EXPECT_EQ(cp_at(pair(0x01, 0x1F)), 0x30B8u);  // ジ
    EXPECT_EQ(cp_at(pair(0x01, 0x5C)), 0x5C4Bu);  // 屋
    EXPECT_EQ(cp_at(pair(0x02, 0x00)), 0x8B66u);  // 警
    EXPECT_EQ(cp_at(pair(0x03, 0x00)), 0x4FE1u);  // 信
    EXPECT_EQ(cp_at(pair(0x04, 0x00)), 0x75C5u);  // 病
    EXPECT_EQ(cp_at(pair(0x03, 0x1F)), 0x7CBEu);  // 精
    EXPECT_EQ(cp_at(pair(0x03, 0x21)), 0x58F0u);  // 声
}

}  // namespace
