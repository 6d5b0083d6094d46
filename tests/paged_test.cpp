// Files larger than the readers take at once: read in chunks as the tables and the
// strings reach them, a dump from disk is the dump of the same bytes in memory, strings
// that cross chunks and run to the end included; a file that shrinks is a read failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "format/pack/huffman.h"
#include "format/pack/xor_chain.h"
#include "fuzz/inputs.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// 64 blocks of 24 strings of up to 3000 characters (letters, blanks, line feeds; an
// archive's backslash-n and two-byte codes), each string followed by the next, and one
// last block of one string of 600000: about 2 MB of text. kind 0: a Huffman pack, 1: an
// exclusive-or pack, 2: an archive with the text in section 8.
bytes large_file(int kind, std::mt19937& rng)
{
    const auto text = [&](std::size_t length) {
        bytes t;
        while (t.size() < length) {
            const std::uint32_t r = rng() % 64;
            if (kind == 2 && r == 0)
                t.insert(t.end(), {'\\', 'n'});
            else if (kind == 2 && r == 1)
                t.insert(t.end(), {static_cast<std::uint8_t>(1 + rng() % 4), static_cast<std::uint8_t>(rng())});
            else
                t.push_back(r == 2 ? '\n' : r < 12 ? ' ' : static_cast<std::uint8_t>('a' + r % 26));
        }
        return t;
    };
    std::vector<bytes> texts;
    directory_plan plan;
    for (std::uint32_t b = 0; b < 65; ++b) {
        plan.entries.push_back({b, b});
        block_plan& block = plan.blocks.emplace_back();
        for (std::uint32_t j = 0; j < (b == 64 ? 1 : 24); ++j) {
            block.strings.push_back({static_cast<std::uint32_t>(texts.size()), 0});
            texts.push_back(text(b == 64 ? 600000 : rng() % 3000));
        }
    }
    std::uint64_t counts[256] = {};
    for (const bytes& t : texts)
        count_symbols(counts, t);
    std::vector<node_record> records;
    code_table code;
    if (kind == 0 && !failed(build_code_tree(counts, records)))
        code_words(records, code);
    for (const bytes& t : texts) {
        bytes& run = plan.runs.emplace_back();
        if (kind == 0)
            EXPECT_FALSE(failed(huffman_encode(code, t, run)));
        else if (kind == 1)
            xor_encode(t, run);
        else
            (run = t).push_back(0x1F);
    }
    bytes file;
    if (kind < 2) {
        write_node_table(records, file);
        EXPECT_FALSE(failed(write_directory(directory_layout::packed, plan, file)));
        return file;
    }
    std::vector<bytes> sections(44, bytes(4, 0));
    EXPECT_FALSE(failed(write_directory(directory_layout::with_ids, plan, sections[8] = {})));
    EXPECT_FALSE(failed(write_archive(sections, 16, {}, file)));
    return file;
}

} // namespace

TEST(LargeFiles, ReadInChunksAsTheyAreReachedDumpAsFromMemory)
{
    std::mt19937 rng(11);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / ("kx_large_" + std::to_string(rng()));
    int cut_strings = 0;
    for (int kind = 0; kind < 3; ++kind) {
        const bytes whole = large_file(kind, rng);
        ASSERT_GT(whole.size(), paged_whole + 2 * paged_chunk);
        // Whole, and cut: halfway (some strings start past the end), and inside the long
        // string, which then runs to the end of the file, from several chunks before it.
        for (const std::size_t size : {whole.size(), (whole.size() + paged_whole) / 2, whole.size() - 1 - rng() % 20000,
                                       whole.size() - whole.size() % paged_chunk}) {
            const bytes file(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
            ASSERT_TRUE(write_file(path.string(), std::string(file.begin(), file.end())));
            for (const bool verbose : {false, true}) {
                SCOPED_TRACE(std::to_string(kind) + " " + std::to_string(size) + (verbose ? " -V" : ""));
                text_output out;
                out_init_memory(out);
                const status s = kind == 2 ? run_archive_input(file, verbose, out) : run_pack_input(file, verbose, out);
                out_finish(out);
                std::vector<std::string> args{kind == 2 ? "kxps_strings" : "kx_strings", path.string()};
                if (verbose)
                    args.insert(args.begin() + 1, "-V");
                const tool_run run = run_tool_in_process(args);
                EXPECT_EQ(run.status, failed(s) ? 1 : 0);
                cut_strings += s.code == failure::decode_overrun || s.code == failure::out_of_buffer;
                EXPECT_TRUE(run.out.starts_with(out.kept)) << run.out.size() << " " << out.kept.size();
                const std::string tail = run.out.substr(out.kept.size());
                EXPECT_TRUE(!failed(s) || tail.find("ERROR: " + failure_text(s, path.string())) <= 1) << tail;
            }
        }
    }
    EXPECT_GE(cut_strings, 8); // most cuts leave a string running to the end
    std::filesystem::remove(path);
}

TEST(LargeFiles, ShrinkingWhileReadIsAReadFailure)
{
    const std::string path = (std::filesystem::temp_directory_path() / "kx_shrinking").string();
    ASSERT_TRUE(write_file(path, std::string(5 * paged_chunk + 7, 'x')));
    byte_source source = file_source(path);
    paged_bytes pages;
    ASSERT_FALSE(failed(source_open(source)) || failed(source_page(source, 0, source.size, pages)));
    std::filesystem::resize_file(path, 2 * paged_chunk);
    std::uint64_t limit = 0;
    EXPECT_FALSE(failed(paged_reach(pages, paged_chunk + 1, limit)));
    EXPECT_EQ(limit, 2 * paged_chunk);
    EXPECT_EQ(paged_need(pages, 0, source.size).code, failure::cant_read);
    EXPECT_EQ(paged_reach(pages, 5 * paged_chunk, limit).code, failure::cant_read);
    source_close(source);
    std::filesystem::remove(path);
}
