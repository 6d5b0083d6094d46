// Texts stored through character tables, as an import takes them: the fewest bytes, a
// table code over the file's own, and the check that the bytes read back as the text.
#include <gtest/gtest.h>

#include "format/game_file.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct with_table {
    game_file file;
    char_table table;
};

void load(const char* name, std::string_view lines, with_table& t)
{
    kind_failures why;
    ASSERT_FALSE(failed(load_game_file(std::string(KX_EXAMPLES_DIR "/") + name, std::nullopt, t.file, why)));
    ASSERT_FALSE(failed(read_char_table(t.file, lines, t.table)));
}

// The bytes of `text`, and the text they read back as; `fault` the first problem.
bytes stored(const with_table& t, std::string_view text, text_fault fault = text_fault::none)
{
    coded_text coded;
    stored_bytes(t.file, t.table, text, coded);
    EXPECT_EQ(coded.problems.empty() ? text_fault::none : coded.problems[0].fault, fault) << text;
    return coded.bytes;
}

std::string shown(const with_table& t, const bytes& b)
{
    std::string text;
    string_text(t.file, t.table, b, text);
    return text;
}

TEST(CharTable, ArchiveTextsInTheFewestBytes)
{
    with_table t;
    load("KESTRA", "0179=ä\n80=th\n81=the\n82=e \n83=äb\n90=ー\n", t);
    // "the end": 81 and " end" or 80 82 and "end", five bytes either way: the longer text.
    EXPECT_EQ(stored(t, "äthe endー"), (bytes{0x01, 0x79, 0x81, 0x20, 0x65, 0x6E, 0x64, 0x90}));
    EXPECT_EQ(shown(t, {0x01, 0x79, 0x81, 0x20, 0x65, 0x6E, 0x64, 0x90}), "äthe endー");
    EXPECT_EQ(stored(t, "äbÄä", text_fault::no_code), (bytes{0x83, 0x01, 0x79})); // Ä has no code
    EXPECT_EQ(stored(t, "{B0}th\nthe"), (bytes{0xB0, 0x80, 0x5C, 0x6E, 0x81}));
    // 74 68 is stored as 80, and 90 is ー now: neither reads back as its text.
    EXPECT_EQ(stored(t, "{74}h{90}", text_fault::reads_back), (bytes{0x74, 0x68, 0x90}));
    EXPECT_EQ(stored(t, "{80}", text_fault::reads_back), (bytes{0x80}));
}

TEST(CharTable, PackTexts)
{
    with_table t;
    load("XOR.PAK", "80=th\n8140=x\n", t);
    EXPECT_EQ(stored(t, "the\nx"), (bytes{0x80, 0x65, 0x0A, 0x81, 0x40}));
    EXPECT_EQ(shown(t, {0x74, 0x68, 0x80, 0x81, 0x40}), "{74}hthx");
    EXPECT_EQ(stored(t, "　", text_fault::reads_back), (bytes{0x81, 0x40})); // 8140 is x now
}

} // namespace
