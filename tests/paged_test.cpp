// Files larger than the readers take at once: read in chunks as the tables and the
// strings reach them, a dump from disk is the dump of the same bytes in memory, strings
// that cross chunks and run to the end included; a file that shrinks is a read failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include "format/pack/huffman.h"
#include "format/pack/xor_chain.h"
#include "fuzz/inputs.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// 64 blocks of 24 strings of up to 3000 bytes (letters, blanks, line feeds; in an archive
// two-byte codes and backslashes too, and each block's strings laid out backwards, so that
// the first starts in a chunk not read yet) and a last block of one string of 1000000:
// about 3 MB. kind 0: a Huffman pack (a code word for every letter), 1: an exclusive-or pack,
// 2: an archive (section 8).
bytes large_file(int kind, std::mt19937& rng)
{
    const std::string_view letters = kind == 2 ? "ab cd\nefgh\\\x01ijkl mnopq rstuvwxyz" : "ab cd\nefgh";
    std::uint64_t counts[256] = {};
    for (const char c : letters)
        counts[static_cast<std::uint8_t>(c)] = 1 + rng() % 8;
    std::vector<node_record> records;
    code_table code;
    EXPECT_TRUE(kind != 0 || (!failed(build_code_tree(counts, records)) && (code_words(records, code), true)));
    directory_plan plan;
    for (std::uint32_t b = 0; b < 65; ++b) {
        plan.entries.push_back({b, b});
        block_plan& block = plan.blocks.emplace_back();
        for (std::uint32_t j = 0; j < (b == 64 ? 1 : 24); ++j) {
            block.strings.push_back({static_cast<std::uint32_t>(plan.runs.size()), 0});
            bytes text(b == 64 ? 1000000 : rng() % 3000), &run = plan.runs.emplace_back();
            for (std::uint8_t& c : text)
                c = static_cast<std::uint8_t>(letters[rng() % letters.size()]);
            if (kind == 1)
                xor_encode(text, run);
            else if (kind == 2 || failed(huffman_encode(code, text, run)))
                (run = text).push_back(0x1F);
        }
    }
    for (std::uint32_t b = 0, r = 0; kind == 2 && b < 65; ++b) { // each block, then its strings backwards
        plan.order.push_back({false, b});
        for (std::size_t j = plan.blocks[b].strings.size(); j-- > 0;)
            plan.order.push_back({true, r + static_cast<std::uint32_t>(j)});
        r += static_cast<std::uint32_t>(plan.blocks[b].strings.size());
    }
    bytes file;
    std::vector<bytes> sections(44, bytes(4, 0));
    write_node_table(records, file);
    EXPECT_FALSE(failed(write_directory(kind < 2 ? directory_layout::packed : directory_layout::with_ids, plan,
                                        kind < 2 ? file : sections[8] = {})));
    EXPECT_TRUE(kind < 2 || !failed(write_archive(sections, 16, {}, file = {})));
    return file;
}

} // namespace

TEST(LargeFiles, ReadInChunksAsTheyAreReachedDumpAsFromMemoryAndFailWhenGone)
{
    std::mt19937 rng(11);
    const std::string path = (std::filesystem::temp_directory_path() / ("kx_large_" + std::to_string(rng()))).string();
    int cut_strings = 0;
    for (int kind = 0; kind < 3; ++kind) {
        const bytes whole = large_file(kind, rng);
        ASSERT_GT(whole.size(), paged_whole + paged_chunk);
        // Whole, and cut: halfway (some strings start past the end), and inside the long
        // string, which then runs to the end of the file, from several chunks before it.
        for (const std::size_t size : {whole.size(), (whole.size() + paged_whole) / 2, whole.size() - 1 - rng() % 20000,
                                       whole.size() - whole.size() % paged_chunk}) {
            ASSERT_TRUE(write_file(path, std::string(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size))));
            for (const bool verbose : {false, true}) {
                text_output out;
                out_init_memory(out);
                const status s = kind == 2 ? run_archive_input({whole.data(), size}, verbose, out)
                                           : run_pack_input({whole.data(), size}, verbose, out);
                out_finish(out);
                std::vector<std::string> args{kind == 2 ? "kxps_strings" : "kx_strings", path};
                const tool_run run = run_tool_in_process(verbose ? args.insert(args.begin() + 1, "-V"), args : args);
                const std::string tail = run.out.substr(std::min(out.kept.size(), run.out.size()));
                EXPECT_TRUE(run.status == failed(s) && run.out.starts_with(out.kept)) << kind << " " << size << verbose;
                EXPECT_TRUE(!failed(s) || tail.find("ERROR: " + failure_text(s, path)) <= 1) << tail;
                cut_strings += s.code == failure::decode_overrun || s.code == failure::out_of_buffer;
            }
        }
    }
    EXPECT_GE(cut_strings, 8); // most cuts leave a string running to the end

    // A file that shrinks while it is read: the chunks past its new end are a read failure.
    ASSERT_TRUE(write_file(path, std::string(paged_whole + 3 * paged_chunk + 7, 'x')));
    byte_source source = file_source(path);
    paged_bytes pages;
    ASSERT_FALSE(failed(source_open(source)) || failed(source_page(source, 0, source.size, pages)));
    std::filesystem::resize_file(path, paged_whole + paged_chunk);
    errno = EINTR; // what an earlier call left: a read that finds the end is no interruption
    EXPECT_EQ(paged_need(pages, 0, source.size).code, failure::cant_read);
    source_close(source);
    std::filesystem::remove(path);
}
