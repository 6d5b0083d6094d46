// The fast decoders against the reference ones: the same bytes and the same failure,
// plainly and verbosely. The Huffman table against the bit walk on code trees built
// from counts and on random node tables (cycles, missing children, links past the
// table); eight exclusive-or bytes a step against one, on Shift-JIS text with every
// kind of byte; the archive's codes a word at a time against one at a time. Strings
// end anywhere, bytes are damaged, files cut short.
#include <gtest/gtest.h>

#include <random>

#include "archive_strings/archive.h"
#include "archive_strings/game_text.h"
#include "pack_strings/pack.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct dump {
    std::string text;
    status result;
};

dump print_with(const pack_image& image, bool verbose, pack_decoding decoding)
{
    static text_output out;
    out_init_memory(out);
    dump d;
    d.result = print_pack_strings(image, verbose, out, decoding);
    out_finish(out);
    d.text = out.kept;
    return d;
}

// A pack of `records` whose one block lists `starts` into the string bytes `run`.
bytes pack_of(std::span<const node_record> records, const bytes& run, const std::vector<std::uint32_t>& starts)
{
    directory_plan plan{{{0, 0}}, {{}}, {run}, {}};
    for (std::uint32_t start : starts)
        plan.blocks[0].strings.push_back({0, start});
    bytes file;
    write_node_table(records, file);
    EXPECT_FALSE(failed(write_directory(directory_layout::packed, plan, file)));
    return file;
}

// Compares both ways on `file`; returns whether the fast way differs from the reference
// (for Huffman, a tree whose root is not a leaf).
bool same_both_ways(const bytes& file, int round)
{
    pack_image image;
    if (failed(parse_pack_tables(file, nullptr, image)))
        return false;
    huff_table table;
    const bool tabled = image.num_nodes == 0 || build_huff_table(image, table);
    EXPECT_EQ(tabled, image.num_nodes == 0 || !is_leaf(image.nodes[image.root]));
    for (bool verbose : {false, true}) {
        const dump walked = print_with(image, verbose, pack_decoding::reference);
        const dump read = print_with(image, verbose, pack_decoding::fast);
        EXPECT_EQ(walked.text, read.text) << "round " << round << (verbose ? ", verbose" : "");
        EXPECT_EQ(walked.result.code, read.result.code) << "round " << round;
        EXPECT_EQ(walked.result.position, read.result.position) << "round " << round;
        EXPECT_EQ(walked.result.value, read.result.value) << "round " << round;
    }
    return tabled;
}

TEST(FastDecoding, HuffmanTableOnBuiltTreesAndDamagedStrings)
{
    std::mt19937 rng(3);
    const auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    int tabled = 0;
    for (int round = 0; round < 1500; ++round) {
        // Skewed counts over 2 to 128 symbols, the end mark and often the line feed
        // among them, give code words of 1 to about 30 bits.
        std::uint64_t counts[256] = {};
        const std::uint32_t symbols = 1 + below(127);
        for (std::uint32_t k = 0; k < symbols; ++k)
            counts[below(256)] = 1 + (std::uint64_t{1} << below(24));
        counts[end_mark] = 1 + below(1000);
        if (below(2))
            counts[line_feed] = 1 + below(10000);
        std::vector<node_record> records;
        ASSERT_FALSE(failed(build_code_tree(counts, records)));
        code_table words;
        code_words(records, words);
        // Strings one after the other; the run is then damaged or cut short, sometimes
        // right after a string whose last word ends on a byte's last bit.
        bytes run, text;
        std::vector<std::uint32_t> starts;
        for (std::uint32_t s = below(12); s > 0; --s) {
            text.clear();
            for (std::uint32_t n = below(60); n > 0; --n)
                if (const auto b = static_cast<std::uint8_t>(below(256)); counts[b] != 0 && b != end_mark)
                    text.push_back(b);
            starts.push_back(static_cast<std::uint32_t>(run.size()));
            ASSERT_FALSE(failed(huffman_encode(words, text, run)));
        }
        if (run.empty())
            run.push_back(0);
        for (std::uint32_t n = below(3); n > 0; --n)
            run[below(static_cast<std::uint32_t>(run.size()))] ^= static_cast<std::uint8_t>(1 << below(8));
        if (below(3) == 0)
            run.resize(1 + below(static_cast<std::uint32_t>(run.size())));
        else if (below(2) == 0 && run.back() == 0)
            run.pop_back(); // the padding byte after a word that ends on a byte boundary
        for (std::uint32_t& start : starts)
            start = std::min(start, static_cast<std::uint32_t>(run.size() - 1));
        tabled += same_both_ways(pack_of(records, run, starts), round);
    }
    EXPECT_GT(tabled, 1000);
}

TEST(FastDecoding, HuffmanTableOnRandomNodeTables)
{
    std::mt19937 rng(4);
    const auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    int tabled = 0;
    for (int round = 0; round < 3000; ++round) {
        // Links to any record, to none (0xFF), past the table, or back up the tree.
        std::vector<node_record> records(1 + below(below(2) ? 8 : 300));
        const auto count = static_cast<std::uint32_t>(records.size());
        const auto link = [&] {
            const std::uint32_t kind = below(10);
            return static_cast<std::uint8_t>(kind < 6 ? below(std::min(count, 255u)) : kind < 8 ? 0xFF : below(256));
        };
        for (node_record& r : records) {
            const std::uint32_t kind = below(4);
            r.symbol = kind == 0 ? end_mark : kind == 1 ? line_feed : static_cast<std::uint8_t>(below(256));
            r.left = below(3) == 0 ? no_link_byte : link();
            r.right = below(3) == 0 ? no_link_byte : link();
        }
        bytes run(1 + below(below(2) ? 16 : 400));
        for (std::uint8_t& b : run)
            b = static_cast<std::uint8_t>(below(256));
        std::vector<std::uint32_t> starts(below(30));
        for (std::uint32_t& start : starts)
            start = below(static_cast<std::uint32_t>(run.size()));
        tabled += same_both_ways(pack_of(records, run, starts), round);
    }
    EXPECT_GT(tabled, 1000);
}

TEST(FastDecoding, ExclusiveOrWords)
{
    std::mt19937 rng(5);
    const auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    const auto byte_in = [&](std::uint32_t first, std::uint32_t last) {
        return static_cast<std::uint8_t>(first + below(last - first + 1));
    };
    int compared = 0;
    for (int round = 0; round < 2000; ++round) {
        // Pairs (lead 0x81-0x9F or 0xE0-0xFC, a trail byte, 0x7C among them), single
        // bytes, line feeds and now and then any byte: an end mark, a bad trail byte.
        bytes run, text;
        std::vector<std::uint32_t> starts;
        for (std::uint32_t s = 1 + below(10); s > 0; --s) {
            text.clear();
            for (std::uint32_t n = below(90); n > 0; --n) {
                const std::uint32_t kind = below(20);
                if (kind < 12) {
                    text.push_back(below(3) ? byte_in(0x81, 0x9F) : byte_in(0xE0, 0xFC));
                    text.push_back(below(30) == 0 ? end_mark : byte_in(0x40, 0xFC));
                } else {
                    text.push_back(kind < 17 ? byte_in(0x20, 0xDF) : kind < 19 ? line_feed : byte_in(0, 255));
                }
            }
            starts.push_back(static_cast<std::uint32_t>(run.size()));
            xor_encode(text, run);
        }
        for (std::uint32_t n = below(3); n > 0; --n)
            run[below(static_cast<std::uint32_t>(run.size()))] = static_cast<std::uint8_t>(below(256));
        if (below(3) == 0)
            run.resize(1 + below(static_cast<std::uint32_t>(run.size())));
        for (std::uint32_t& start : starts)
            start = below(4) ? std::min(start, static_cast<std::uint32_t>(run.size() - 1))
                             : below(static_cast<std::uint32_t>(run.size()));
        compared += same_both_ways(pack_of({}, run, starts), round);
    }
    EXPECT_EQ(compared, 2000); // every file parses
}

TEST(FastDecoding, ArchiveCodesByTheWord)
{
    std::mt19937 rng(6);
    const auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    static text_output out;
    for (int round = 0; round < 1500; ++round) {
        // Single bytes, pairs with any second byte, backslash-n, end bytes; strings start
        // anywhere and the section may end inside a string or after a lead byte.
        bytes run;
        for (std::uint32_t n = 1 + below(400); n > 0; --n) {
            const std::uint32_t kind = below(40);
            if (kind < 12)
                run.push_back(static_cast<std::uint8_t>(0x80 + below(128)));
            else if (kind < 24)
                run.insert(run.end(), {static_cast<std::uint8_t>(1 + below(4)), static_cast<std::uint8_t>(below(256))});
            else if (kind < 34)
                run.push_back(static_cast<std::uint8_t>(0x20 + below(95)));
            else if (kind < 37)
                run.insert(run.end(), {'\\', 'n'});
            else
                run.push_back(kind == 37 ? game_end_byte : static_cast<std::uint8_t>(below(256)));
        }
        directory_plan plan{{{7, 0}}, {{}}, {run}, {}};
        for (std::uint32_t n = below(20); n > 0; --n)
            plan.blocks[0].strings.push_back({0, below(static_cast<std::uint32_t>(run.size()))});
        std::vector<bytes> sections(44, bytes{0, 0, 0, 0});
        const bool nested = below(2) != 0;
        sections[nested ? 43 : 8].clear();
        ASSERT_FALSE(failed(write_directory(nested ? directory_layout::nested : directory_layout::with_ids, plan,
                                            sections[nested ? 43 : 8])));
        bytes archive;
        ASSERT_FALSE(failed(write_archive(sections, 1, {}, archive)));
        for (bool verbose : {false, true}) {
            std::string texts[2];
            status results[2];
            for (int fast = 0; fast < 2; ++fast) {
                out_init_memory(out);
                byte_source source = memory_source("archive", archive);
                results[fast] = dump_archive(source, verbose, out, fast ? game_rendering::fast : game_rendering::reference);
                out_finish(out);
                texts[fast] = out.kept;
            }
            EXPECT_EQ(texts[0], texts[1]) << "round " << round;
            EXPECT_EQ(results[0].code, results[1].code) << "round " << round;
        }
    }
}

} // namespace
