// The text notation in both encodings, the writers' limits and their messages, the
// output buffer, and the example files against their sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive_strings/archive.h"
#include "archive_strings/game_text.h"
#include "pack_strings/pack_text.h"
#include "tests/support/sources.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// Every byte string has one text, and the text reads back as those bytes: hand-picked
// strings with their texts, and random ones.
TEST(Notation, EachByteStringHasOneText)
{
    std::vector<std::tuple<bool, bytes, std::string>> cases = { // pack?, bytes, text
        {false, {}, ""}, {true, {}, ""}, {false, {'A', ' ', '~', '}', '{'}, "A ~}{7B}"},
        {false, {0xB0, 0x90, 0x86, 0xA1, 0xDF}, "ー{90}を。゜"}, // 0x90 is ー's second code
        {false, {0x01, 0x00, 0x04, 0xA8, 0x01, 0x1F}, "が々ジ"},
        {false, {0x01, 0x79, 0x85, 0xFF, 0x0A, 0x00, 0x7F, 0x1E}, "{01 79}{85}{FF}{0A}{00}{7F}{1E}"},
        {false, {'\\', 'n', 'A', '\\', '\\', 'n', '\\', 'A', 'n'}, "\nA\\\n\\An"}, // the game's line break
        {false, {0x01, '\\', 'n', '\\', 0x01, 'n'}, "屋n\\我"}, // a second byte takes no part in a break
        {true, {'A', '\\', '~', '|', '}', '{', 0x0A, 0x09}, "A\\~|}{7B}\n{09}"},
        {true, {0x82, 0xA0, 0x83, 0x7C, 0xA1, 0xDF}, "あポ｡ﾟ"},
        {true, {0x81, 0xCA, 0xEE, 0xF9, 0x85, 0x40, 0xF0, 0x40}, "￢{EE F9}{85 40}{F0 40}"}, // not canonical, unassigned
        {true, {0x82, 0x3F, 0x80, 0xA0, 0xFD, 0x82}, "{82}?{80}{A0}{FD}{82}"},
    };
    std::mt19937 rng(5);
    for (int n = 0; n < 8000; ++n) { // often a byte that breaks a line, leads or opens an escape
        bytes stored(rng() % 12);
        for (std::uint8_t& b : stored)
            b = rng() % 4 == 0 ? bytes{'\\', 'n', 0x01, 0x82, '{', 0x0A}[rng() % 6] : static_cast<std::uint8_t>(rng());
        // An archive string holds no end byte outside a two-byte code and none at its end.
        if (n % 2 == 0 && !stored.empty() && is_game_lead(stored.back()))
            stored.push_back('A');
        for (std::size_t k = 0; k < stored.size() && n % 2 == 0; ++k)
            if (is_game_lead(stored[k]))
                ++k;
            else if (stored[k] == game_end_byte)
                stored[k] = 0x1E;
        cases.push_back({n % 2 != 0, stored, ""});
    }
    for (auto& [pack, stored, text] : cases) {
        std::string made;
        bytes with_end = stored, back;
        std::size_t at = 0;
        with_end.push_back(game_end_byte);
        if (pack)
            pack_text_of(stored, made);
        else
            EXPECT_FALSE(failed(game_text_of(with_end, 0, made)));
        EXPECT_TRUE(made == text || (text.empty() && !stored.empty())) << made;
        EXPECT_EQ((pack ? pack_bytes_of : game_bytes_of)(made, back, at), text_fault::none) << made;
        EXPECT_EQ(back, stored) << made;
    }
    std::string text; // a lead byte right before the end: the end byte is its second byte
    EXPECT_EQ(game_text_of(bytes{'A', 0x01, game_end_byte}, 0, text).code, failure::out_of_buffer);
}

// Texts that have no bytes, and the character where they fail.
TEST(Notation, TextsWithoutBytes)
{
    using enum text_fault;
    const std::tuple<std::string, text_fault, text_fault, std::size_t> cases[] = { // archive, pack, column
        {"aあ{0}", bad_escape, bad_escape, 3}, {"{}", bad_escape, bad_escape, 1}, {"{0A", bad_escape, bad_escape, 1},
        {"{0A  0B}", bad_escape, bad_escape, 1}, {"{G0}", bad_escape, bad_escape, 1}, {"{0}}", bad_escape, bad_escape, 1},
        {"a\tb", control, control, 2}, {"\xE3\x81", bad_utf8, bad_utf8, 1}, {"\xC0\xAF", bad_utf8, bad_utf8, 1},
        {"x\xED\xA0\x80", bad_utf8, bad_utf8, 2}, {"\xED\xBF\xBF", bad_utf8, bad_utf8, 1}, {"😀", no_code, no_code, 1},
        {"ab漢c", no_code, none, 3}, // not in the character map
    };
    bytes back;
    std::size_t at = 0;
    for (const auto& [text, in_archive, in_pack, column] : cases) {
        EXPECT_EQ(pack_bytes_of(text, back, at), in_pack) << text;
        EXPECT_EQ(game_bytes_of(text, back, at), in_archive) << text;
        EXPECT_EQ(character_column(text, at), column) << text;
    }
    EXPECT_TRUE(pack_bytes_of("{0a fF}", back, at) == none && back == (bytes{0x0A, 0xFF})); // hexadecimal in either case
    using edge = std::pair<char32_t, std::string_view>; // UTF-8 at the edges of each length
    for (const auto& [c, utf8] : {edge{0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"},
                                  {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"}}) {
        std::string out;
        char32_t read = 0;
        append_utf8(out, c);
        EXPECT_TRUE(out == utf8 && read_utf8(utf8, 0, read) == utf8.size() && read == c) << utf8;
    }
}

TEST(Notation, QuotedStrings)
{
    const std::string plain("a\"b\\c\n\t\r\x01\x0B\x1F\x7F\xE3\x81\x82", 15);
    std::string quoted, text;
    append_quoted(quoted, plain);
    EXPECT_EQ(quoted, "\"a\\\"b\\\\c\\n\\t\\r\\001\\013\\037\\177\xE3\x81\x82\"");
    using pair = std::pair<std::string, std::string>; // what reads back, "" for a failure
    for (const auto& [in, out] : {pair{quoted, plain}, {"\"\\x41\\102\\a\\x414\\1234\"", "AB\aA4S4"}, {"\"abc", ""},
                                  {"\"\\q\"", ""}, {"abc\"", ""}, {"\"\\x\"", ""}}) {
        std::size_t at = 0;
        EXPECT_EQ(read_quoted(in, at, text), !out.empty()) << in;
        EXPECT_TRUE(out.empty() || (text == out && at == in.size())) << in;
    }
}

// `blocks` entries naming one block of `strings` strings, all at one stored string.
status write_shared(std::size_t blocks, std::size_t strings)
{
    bytes out;
    return write_directory(directory_layout::with_ids, {std::vector<entry_plan>(blocks, {0, 0}),
                           {{std::vector<string_ref>(strings, {0, 0})}}, {{'A', 0x1F}}, {}}, out);
}

// The writers refuse what their format cannot hold, each with the message that names the
// count or the block; at the limit itself they still write.
TEST(Writers, LimitsAndTheirMessages)
{
    std::uint64_t counts[256] = {}, more[256] = {};
    for (int b = 0; b < 128; ++b)
        counts[b] = more[b] = b != end_mark; // 127 bytes and the end mark
    more[200] = 1;
    std::vector<node_record> records;
    const node_record tree[] = {{'x', 2, 0xFF, 0xFF}, {'|', 2, 0xFF, 0xFF}, {0, 0xFF, 0, 1}}; // x 0, end mark 1
    code_table words;
    code_words(tree, words);
    bytes out;
    const std::pair<status, std::string> cases[] = {
        {write_shared(0xFFFF, 0xFFFF), ""},
        {write_shared(0x10000, 1), "65536 blocks, more than a directory holds (65535)"},
        {write_shared(3, 0x10000), "block 0: 65536 strings, more than a block holds (65535)"},
        {build_code_tree(counts, records), ""},
        {build_code_tree(more, records), "the texts hold 129 distinct bytes with the end mark, more than a code tree "
                                         "holds (128)"},
        {huffman_encode(words, bytes{'x', 'y'}, out), "the code tree has no code word for the byte 79"},
        {huffman_encode(words, bytes{'x', '|'}, out), "block 0, string 0: the text holds the end mark 7C, which this "
                                                      "form cannot store"},
        // Three sections of one byte aligned to 2 GiB: 4 GiB and 1, and a trailer of 2.
        {write_archive(std::vector<bytes>(3, {0}), 1u << 31, bytes{1, 2}, out),
         "the result would be 4294967299 bytes, more than 32-bit offsets reach (4 GiB)"},
    };
    for (const auto& [s, message] : cases)
        EXPECT_EQ(failure_message(s, "F"), message.empty() ? "" : "ERROR: " + message + "\n");
}

TEST(Writers, OutputAcrossTheEndOfItsBufferComesOutWhole)
{
    static text_output out;
    std::string expected;
    out_init_memory(out);
    for (int k = 0; k < 30000; ++k) // 7 bytes a piece: the pieces straddle every 64 KiB
        out_text(out, "<" + std::to_string(100000 + k) + ">"), expected += "<" + std::to_string(100000 + k) + ">";
    out_blanks(out, 70); // more than one piece of blanks
    out_dec(out, -42, 6);
    out_finish(out);
    EXPECT_TRUE(out.kept == expected + std::string(70, ' ') + "   -42");
}

TEST(Examples, RegenerateByteForByteFromTheirSources)
{
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "kx_examples_test";
    std::filesystem::create_directories(out);
    std::string error, committed, made;
    ASSERT_TRUE(write_examples(KX_EXAMPLES_DIR, out.string(), error)) << error;
    for (const char* name : {"KESTRA", "STRINGS.PAK", "XOR.PAK"}) {
        ASSERT_TRUE(read_file(KX_EXAMPLES_DIR "/" + std::string(name), committed));
        ASSERT_TRUE(read_file((out / name).string(), made));
        EXPECT_TRUE(!committed.empty() && made == committed) << name << " differs from its source";
    }
    std::filesystem::remove_all(out);
}

} // namespace
