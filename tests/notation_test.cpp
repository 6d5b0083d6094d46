// The text notation: the texts of hand-picked codes, and every byte string back from
// its text, in both encodings.
#include <gtest/gtest.h>

#include <random>

#include "format/archive/game_text.h"
#include "format/notation.h"
#include "format/pack/pack_text.h"

namespace {

using bytes = std::vector<std::uint8_t>;

std::string archive_text(bytes stored)
{
    stored.push_back(game_end_byte);
    std::string text;
    EXPECT_FALSE(failed(game_text_of(stored, 0, text)));
    return text;
}

std::string pack_text(const bytes& stored)
{
    std::string text;
    pack_text_of(stored, text);
    return text;
}

TEST(Notation, ArchiveCodes)
{
    const std::pair<bytes, std::string> cases[] = {
        {{}, ""},
        {{'A', ' ', '~', '}'}, "A ~}"},
        {{'{'}, "{7B}"},
        {{0xB0, 0x90}, "ー{90}"},               // ー has a second code: 0x90 is not canonical
        {{0x86, 0xA1, 0xDF}, "を。゜"},
        {{0x01, 0x00, 0x04, 0xA8, 0x01, 0x1F}, "が々ジ"},
        {{0x01, 0x79, 0x85, 0xFF}, "{01 79}{85}{FF}"}, // codes without a character
        {{0x0A, 0x00, 0x7F, 0x1E}, "{0A}{00}{7F}{1E}"},
        {{'\\', 'n', 'A'}, "\nA"},                  // the game's line break
        {{'\\', '\\', 'n'}, "\\\n"},
        {{'\\', 'A', 'n'}, "\\An"},
        {{0x01, '\\', 'n'}, "屋n"},                  // a second byte takes no part in a break
        {{'\\', 0x01, 'n'}, "\\我"},
    };
    for (const auto& [stored, text] : cases) {
        EXPECT_EQ(archive_text(stored), text);
        bytes back;
        std::size_t at = 0;
        EXPECT_EQ(game_bytes_of(text, back, at), text_fault::none) << text;
        EXPECT_EQ(back, stored) << text;
    }
    // A lead byte on the last byte before the end: the end byte is its second byte.
    std::string text;
    EXPECT_EQ(game_text_of(bytes{'A', 0x01, game_end_byte}, 0, text).code, failure::out_of_buffer);
}

TEST(Notation, PackCodes)
{
    const std::pair<bytes, std::string> cases[] = {
        {{'A', '\\', '~', '|', '}'}, "A\\~|}"},
        {{'{', 0x0A, 0x09}, "{7B}\n{09}"},
        {{0x82, 0xA0, 0x83, 0x7C, 0xA1, 0xDF}, "あポ｡ﾟ"},
        {{0x81, 0xCA, 0xEE, 0xF9}, "￢{EE F9}"},   // a duplicate pair is not canonical
        {{0x85, 0x40, 0xF0, 0x40}, "{85 40}{F0 40}"}, // unassigned, user-defined
        {{0x82, 0x3F, 0x80, 0xA0, 0xFD}, "{82}?{80}{A0}{FD}"},
        {{0x82}, "{82}"},
    };
    for (const auto& [stored, text] : cases) {
        EXPECT_EQ(pack_text(stored), text);
        bytes back;
        std::size_t at = 0;
        EXPECT_EQ(pack_bytes_of(text, back, at), text_fault::none) << text;
        EXPECT_EQ(back, stored) << text;
    }
}

TEST(Notation, EveryByteStringComesBackFromItsText)
{
    std::mt19937 rng(5);
    for (int n = 0; n < 4000; ++n) {
        bytes stored(rng() % 12);
        for (std::uint8_t& b : stored)
            b = static_cast<std::uint8_t>(rng() % 4 == 0 ? static_cast<unsigned char>("\\n\x01\x82\x7B\x0A"[rng() % 6]) : rng());
        bytes back;
        std::size_t at = 0;
        const std::string text = pack_text(stored);
        ASSERT_EQ(pack_bytes_of(text, back, at), text_fault::none) << text;
        ASSERT_EQ(back, stored) << text;
        // An archive string holds no end byte outside a two-byte code and none at its end.
        if (!stored.empty() && is_game_lead(stored.back()))
            stored.push_back('A');
        for (std::size_t k = 0; k < stored.size(); ++k)
            if (is_game_lead(stored[k]))
                ++k;
            else if (stored[k] == game_end_byte)
                stored[k] = 0x1E;
        const std::string game = archive_text(stored);
        ASSERT_EQ(game_bytes_of(game, back, at), text_fault::none) << game;
        ASSERT_EQ(back, stored) << game;
    }
}

TEST(Notation, Utf8AtTheEdgesOfEachLength)
{
    using edge = std::pair<char32_t, std::string_view>;
    for (const auto& [c, utf8] : {edge{0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"},
                                  {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"}, {0x1F600, "\xF0\x9F\x98\x80"},
                                  {0x10FFFF, "\xF4\x8F\xBF\xBF"}}) {
        std::string out;
        append_utf8(out, c);
        char32_t back = 0;
        EXPECT_TRUE(out == utf8 && read_utf8(utf8, 0, back) == utf8.size() && back == c)
            << static_cast<std::uint32_t>(c);
    }
}

TEST(Notation, TextsThatHaveNoBytes)
{
    const std::pair<std::string, text_fault> cases[] = {
        {"ab{0}", text_fault::bad_escape},  {"{}", text_fault::bad_escape},     {"{0A", text_fault::bad_escape},
        {"{0A  0B}", text_fault::bad_escape}, {"a\tb", text_fault::control},    {"\xE3\x81", text_fault::bad_utf8},
        {"\xC0\xAF", text_fault::bad_utf8}, {"x\xED\xA0\x80", text_fault::bad_utf8},
        {"\xED\xBF\xBF", text_fault::bad_utf8}, {"😀", text_fault::no_code},  {"{G0}", text_fault::bad_escape},
        {"{0}}", text_fault::bad_escape},
    };
    for (const auto& [text, fault] : cases) {
        bytes back;
        std::size_t at = 0;
        EXPECT_EQ(pack_bytes_of(text, back, at), fault) << text;
        EXPECT_EQ(game_bytes_of(text, back, at), fault) << text;
    }
    bytes back;
    std::size_t at = 0;
    EXPECT_EQ(game_bytes_of("ab漢c", back, at), text_fault::no_code); // not in the character map
    EXPECT_EQ(character_column("ab漢c", at), 3u);
    bytes lower; // hexadecimal digits in either case
    at = 0;
    EXPECT_EQ(pack_bytes_of("{0a fF}", lower, at), text_fault::none);
    EXPECT_EQ(lower, (bytes{0x0A, 0xFF}));
}

TEST(Notation, QuotedStrings)
{
    std::string quoted;
    append_quoted(quoted, std::string("a\"b\\c\n\t\r\x01\x0B\x1F\x7F\xE3\x81\x82", 15));
    EXPECT_EQ(quoted, "\"a\\\"b\\\\c\\n\\t\\r\\001\\013\\037\\177\xE3\x81\x82\"");
    std::string text;
    std::size_t at = 0;
    ASSERT_TRUE(read_quoted(quoted, at, text));
    EXPECT_EQ(text, std::string("a\"b\\c\n\t\r\x01\x0B\x1F\x7F\xE3\x81\x82", 15));
    EXPECT_EQ(at, quoted.size());
    at = 0;
    ASSERT_TRUE(read_quoted("\"\\x41\\102\\a\\x414\\1234\"", at, text));
    EXPECT_EQ(text, "AB\aA4S4");
    for (const char* bad : {"\"abc", "\"\\q\"", "abc\"", "\"\\x\""}) {
        at = 0;
        EXPECT_FALSE(read_quoted(bad, at, text)) << bad;
    }
}

} // namespace
