// The fast decoders against the reference ones: the same bytes and the same failure,
// plainly and verbosely. The Huffman table against the bit walk, on code trees built
// from counts and on random node tables (cycles, missing children, links past the
// table); eight exclusive-or bytes a step against one, on Shift-JIS text with every
// kind of byte; the archive's codes a word at a time against one at a time. Strings
// start anywhere, bytes are damaged, files cut short.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "format/archive/archive.h"
#include "format/archive/game_text.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "format/pack/xor_chain.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct dice {
    std::mt19937 rng;
    std::uint32_t below(std::size_t n) { return static_cast<std::uint32_t>(rng() % n); }
    std::uint8_t in(unsigned first, unsigned last) { return static_cast<std::uint8_t>(first + below(last - first + 1)); }
};

// A few bytes changed, and now and then the bytes cut short; `starts` kept inside them.
void damage(bytes& run, std::vector<std::uint32_t>& starts, dice& d)
{
    if (run.empty())
        run.push_back(0);
    for (std::uint32_t n = d.below(3); n > 0; --n)
        run[d.below(run.size())] ^= static_cast<std::uint8_t>(1 << d.below(8));
    if (d.below(3) == 0)
        run.resize(1 + d.below(run.size()));
    for (std::uint32_t& start : starts)
        start = d.below(4) != 0 ? std::min(start, static_cast<std::uint32_t>(run.size() - 1)) : d.below(run.size());
}

// Dumps both ways, plainly and verbosely, by `dump(verbose, fast, out)`: the same bytes
// and the same failure.
template <typename Dump> void expect_same_dumps(Dump dump)
{
    text_output out;
    for (bool verbose : {false, true}) {
        std::string texts[2];
        status results[2];
        for (int fast = 0; fast < 2; ++fast) {
            out_init_memory(out);
            const std::span<char> room = out_reserve(out, 0); // all of it: no byte left from the other way
            std::memset(room.data(), '?', room.size());
            results[fast] = dump(verbose, fast != 0, out);
            out_finish(out);
            texts[fast] = out.kept;
        }
        EXPECT_EQ(texts[0], texts[1]);
        EXPECT_TRUE(results[0].code == results[1].code && results[0].offset == results[1].offset &&
                    results[0].bit == results[1].bit);
    }
}

// Compares both ways on a pack of `records` whose one block lists `starts` into `run`.
// Returns whether the fast way was taken (for Huffman, a root that is no leaf).
bool same_both_ways(std::span<const node_record> records, const bytes& run, const std::vector<std::uint32_t>& starts)
{
    directory_plan plan{{{0, 0}}, {{}}, {run}, {}};
    for (std::uint32_t start : starts)
        plan.blocks[0].strings.push_back({0, start});
    bytes file;
    write_node_table(records, file);
    EXPECT_FALSE(failed(write_directory(directory_layout::packed, plan, file)));
    pack_image image;
    if (failed(parse_pack_tables(file, nullptr, image)))
        return false;
    huff_table table;
    const bool fast = image.num_nodes == 0 || build_huff_table(image, table);
    EXPECT_EQ(fast, image.num_nodes == 0 || !is_leaf(image.nodes[image.root]));
    expect_same_dumps([&](bool verbose, bool by_fast, text_output& out) {
        return print_pack_strings(image, verbose, out, by_fast ? pack_decoding::fast : pack_decoding::reference);
    });
    return fast;
}

TEST(FastDecoding, HuffmanTableAndExclusiveOrWords)
{
    dice d{std::mt19937(3)};
    int tabled = 0;
    for (int round = 0; round < 4500; ++round) {
        SCOPED_TRACE(round);
        std::vector<node_record> records;
        bytes run, text;
        std::vector<std::uint32_t> starts;
        if (round % 3 == 2) {
            // Exclusive-or strings: pairs (lead 0x81-0x9F or 0xE0-0xFC, a trail byte,
            // 0x7C among them), single bytes, line feeds and now and then any byte: an
            // end mark, a bad trail byte.
            for (std::uint32_t s = 1 + d.below(10); s > 0; --s) {
                text.clear();
                for (std::uint32_t n = d.below(90); n > 0; --n) {
                    if (const std::uint32_t kind = d.below(20); kind < 12)
                        text.insert(text.end(), {d.below(3) != 0 ? d.in(0x81, 0x9F) : d.in(0xE0, 0xFC),
                                                 d.below(30) == 0 ? end_mark : d.in(0x40, 0xFC)});
                    else
                        text.push_back(kind < 17 ? d.in(0x20, 0xDF) : kind < 19 ? line_feed : d.in(0, 255));
                }
                starts.push_back(static_cast<std::uint32_t>(run.size()));
                xor_encode(text, run);
            }
        } else if (round % 3 == 0) {
            // Skewed counts over up to 128 symbols, the end mark and often the line
            // feed among them: code words of 1 to about 30 bits. The strings follow one
            // another; the last one, cut, may end on a byte's last bit.
            std::uint64_t counts[256] = {};
            for (std::uint32_t k = d.below(127); k > 0; --k)
                counts[d.below(256)] = 1 + (std::uint64_t{1} << d.below(24));
            counts[end_mark] = 1 + d.below(1000);
            counts[line_feed] = d.below(2) * d.below(10000);
            ASSERT_FALSE(failed(build_code_tree(counts, records)));
            code_table words;
            code_words(records, words);
            const bool big = round % 300 == 0; // one string many times: dumps beyond the writer's buffer
            for (std::uint32_t s = big ? 1 : d.below(12); s > 0; --s) {
                text.clear();
                for (std::uint32_t n = d.below(big ? 20000 : 60); n > 0; --n)
                    if (const std::uint8_t b = d.in(0, 255); counts[b] != 0 && b != end_mark)
                        text.push_back(b);
                starts.push_back(static_cast<std::uint32_t>(run.size()));
                ASSERT_FALSE(failed(huffman_encode(words, text, run)));
            }
            starts.resize(big ? 30 : starts.size(), 0);
        } else {
            // Links to any record, to none (0xFF), past the table, or back up the tree.
            records.resize(1 + d.below(d.below(2) != 0 ? 8 : 300));
            const auto link = [&] {
                const std::uint32_t kind = d.below(10);
                return kind < 6 ? d.in(0, std::min<unsigned>(static_cast<unsigned>(records.size()), 255) - 1)
                     : kind < 8 ? no_link_byte : d.in(0, 255);
            };
            for (node_record& r : records)
                r = {d.below(4) == 0 ? end_mark : d.below(3) == 0 ? line_feed : d.in(0, 255),
                     0, d.below(3) == 0 ? no_link_byte : link(), d.below(3) == 0 ? no_link_byte : link()};
            run.resize(1 + d.below(d.below(2) != 0 ? 16 : 400));
            for (std::uint8_t& b : run)
                b = d.in(0, 255);
            starts.resize(d.below(30));
        }
        damage(run, starts, d);
        tabled += same_both_ways(records, run, starts);
    }
    EXPECT_GT(tabled, 3500);
}

TEST(FastDecoding, ArchiveCodesByTheWord)
{
    dice d{std::mt19937(6)};
    for (int round = 0; round < 1500; ++round) {
        SCOPED_TRACE(round);
        // Single bytes, pairs with any second byte, backslash-n, end bytes; strings start
        // anywhere and the section may end inside a string or after a lead byte.
        bytes run;
        for (std::uint32_t n = 1 + d.below(400); n > 0; --n) {
            if (const std::uint32_t kind = d.below(40); kind < 12)
                run.push_back(d.in(0x80, 0xFF));
            else if (kind < 24)
                run.insert(run.end(), {d.in(1, 4), d.in(0, 255)});
            else if (kind < 34)
                run.push_back(d.in(0x20, 0x7E));
            else if (kind < 37)
                run.insert(run.end(), {'\\', 'n'});
            else
                run.push_back(kind == 37 ? game_end_byte : d.in(0, 255));
        }
        directory_plan plan{{{7, 0}}, {{}}, {run}, {}};
        for (std::uint32_t n = d.below(20); n > 0; --n)
            plan.blocks[0].strings.push_back({0, d.below(run.size())});
        std::vector<bytes> sections(44, bytes{0, 0, 0, 0});
        const bool nested = d.below(2) != 0;
        sections[nested ? 43 : 8].clear();
        ASSERT_FALSE(failed(write_directory(nested ? directory_layout::nested : directory_layout::with_ids, plan,
                                            sections[nested ? 43 : 8])));
        bytes archive;
        ASSERT_FALSE(failed(write_archive(sections, 1, {}, archive)));
        expect_same_dumps([&](bool verbose, bool fast, text_output& out) {
            byte_source source = memory_source("archive", archive);
            return dump_archive(source, verbose, out, fast ? game_rendering::fast : game_rendering::reference);
        });
    }
}

} // namespace
