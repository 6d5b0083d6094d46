// The writers refuse what their format cannot hold, each with the message that names
// the count or the block; at the limit itself they still write.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "format/directory.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"

namespace {

std::string message_of(const status& s)
{
    return failed(s) ? "ERROR: " + failure_text(s, "F") + "\n" : "";
}

// `blocks` entries naming one block of `strings` strings, all at one stored string.
status write_shared(std::size_t blocks, std::size_t strings)
{
    directory_plan plan;
    plan.entries.assign(blocks, entry_plan{0, 0});
    plan.blocks.push_back({std::vector<string_ref>(strings, string_ref{0, 0})});
    plan.runs.push_back({'A', 0x1F});
    std::vector<std::uint8_t> out;
    return write_directory(directory_layout::with_ids, plan, out);
}

TEST(Writers, CountsUpToTheirSixteenBits)
{
    EXPECT_FALSE(failed(write_shared(0xFFFF, 0xFFFF)));
    EXPECT_EQ(message_of(write_shared(0x10000, 1)), "ERROR: 65536 blocks, more than a directory holds (65535)\n");
    EXPECT_EQ(message_of(write_shared(3, 0x10000)), "ERROR: block 0: 65536 strings, more than a block holds (65535)\n");
    // A result beyond 32-bit offsets takes 4 GiB to build; its message alone, as the
    // archive and directory writers fill it.
    EXPECT_EQ(message_of(status{.code = failure::too_large, .size = 0x100000007}),
              "ERROR: the result would be 4294967303 bytes, more than 32-bit offsets reach (4 GiB)\n");
}

TEST(Writers, StringOffsetsReachSixteenBits)
{
    // Layout C after a 2-byte node table: the block at 10 with one string, its base at
    // 14; a first run of 65535 bytes puts the second run's string 65535 past the base.
    for (const std::size_t filler : {0xFFFFu, 0x10000u}) {
        directory_plan plan{{{7, 0}}, {{{{1, 0}}}}, {std::vector<std::uint8_t>(filler, 0), {'|'}}, {{false, 0}, {true, 0}, {true, 1}}};
        std::vector<std::uint8_t> out = {0, 0};
        const status s = write_directory(directory_layout::packed, plan, out);
        EXPECT_EQ(message_of(s), filler == 0xFFFF ? "" : "ERROR: block 0, string 0: the string would lie 65536 bytes "
                                                         "from its offset base, beyond the 65535 a 16-bit offset reaches\n");
    }
}

TEST(Writers, CodeTreesAndTheirWords)
{
    std::uint64_t counts[256] = {};
    for (int b = 0; b < 128; ++b)
        counts[b] = b != end_mark;
    std::vector<node_record> records;
    EXPECT_FALSE(failed(build_code_tree(counts, records))); // 127 and the end mark
    counts[200] = 1;
    EXPECT_EQ(message_of(build_code_tree(counts, records)),
              "ERROR: the texts hold 129 distinct bytes with the end mark, more than a code tree holds (128)\n");
    // x = 0, end mark = 1: a code without "y", and the end mark is no text.
    const node_record tree[] = {{'x', 2, 0xFF, 0xFF}, {'|', 2, 0xFF, 0xFF}, {0, 0xFF, 0, 1}};
    code_table table;
    code_words(tree, table);
    std::vector<std::uint8_t> out;
    const std::uint8_t xy[] = {'x', 'y'}, bar[] = {'x', '|'};
    EXPECT_EQ(message_of(huffman_encode(table, xy, out)), "ERROR: the code tree has no code word for the byte 79\n");
    EXPECT_EQ(message_of(huffman_encode(table, bar, out)),
              "ERROR: block 0, string 0: the text holds the end mark 7C, which this form cannot store\n");
}

// While set, every allocation by new (std::nothrow) T[n] fails: a writer's buffer among them.
bool refuse_arrays = false;

// Texts that straddle every end of the buffer, the big one's or the small one's, and
// reserved room of which a part is counted.
TEST(Writer, TextsAcrossTheEndOfItsBufferComeOutWhole)
{
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "without its buffer" : "with its buffer");
        text_output out;
        refuse_arrays = refused;
        out_init_memory(out);
        refuse_arrays = false;
        EXPECT_EQ(out_reserve(out, 0).size(), refused ? output_reserve_limit : output_buffer_size);
        std::string expected;
        for (int k = 0; k < 30000; ++k) { // 7 bytes a piece
            const std::string piece = "<" + std::to_string(100000 + k) + ">";
            out_text(out, piece);
            expected += piece;
            if (k % 5 == 0) {
                const std::span<char> room = out_reserve(out, output_reserve_limit);
                ASSERT_GE(room.size(), output_reserve_limit);
                std::memset(room.data(), 'a' + k % 26, output_reserve_limit);
                out_commit(out, static_cast<std::size_t>(k % 23));
                expected.append(static_cast<std::size_t>(k % 23), static_cast<char>('a' + k % 26));
            }
        }
        out_blanks(out, 70); // more than one piece of blanks
        out_dec(out, -42, 6);
        out_hex(out, 0xABC, 5);
        expected += std::string(70, ' ') + "   -4200ABC";
        out_finish(out);
        EXPECT_TRUE(out.kept == expected);
    }
}

} // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (refuse_arrays)
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
