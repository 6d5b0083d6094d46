// Generated files and the inputs kept under fuzz/regressions/. The fast paths against the
// reference ones: the Huffman table against the bit walk (code trees built from counts,
// and random node tables with cycles, missing children and links past the table), eight
// exclusive-or bytes or archive codes a step against one, and the check of shared offset
// lists against the word-by-word one. And kx_text's round trips over archives and packs
// whose entries share blocks and whose strings share starts and start inside others.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "archive_strings/game_text.h"
#include "common/le.h"
#include "fuzz/inputs.h"
#include "pack_strings/pack_text.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"
#include "translate/po.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct dice {
    std::mt19937 rng;
    std::uint32_t below(std::size_t n) { return static_cast<std::uint32_t>(rng() % n); }
    std::uint8_t in(unsigned first, unsigned last) { return static_cast<std::uint8_t>(first + below(last - first + 1)); }
};

// Pieces of random strings, drawn by weight out of 40: a byte from the first range, and
// one from the second unless it is empty (first > last).
struct piece {
    unsigned weight, first, last, first2, last2;
};
constexpr piece shift_jis[] = {{14, 0x81, 0x9F, 0x40, 0xFC}, {7, 0xE0, 0xFC, 0x40, 0xFC}, {1, 0x81, 0xFC, 0x7C, 0x7C},
                               {10, 0x20, 0xDF, 1, 0}, {4, line_feed, line_feed, 1, 0}, {4, 0, 255, 1, 0}};
constexpr piece ascii[] = {{24, 0x20, 0x7B, 1, 0}, {4, 0x7D, 0x7F, 1, 0}, {8, 0, 0x1F, 1, 0}, {4, line_feed, line_feed, 1, 0}};
constexpr piece game_codes[] = {{12, 0x80, 0xFF, 1, 0}, {12, 1, 4, 0, 255}, {10, 0x20, 0x7E, 1, 0},
                                {3, '\\', '\\', 'n', 'n'}, {1, game_end_byte, game_end_byte, 1, 0}, {2, 0, 255, 1, 0}};

bytes random_bytes(std::span<const piece> pieces, std::uint32_t count, dice& d)
{
    bytes out;
    for (; count > 0; --count) {
        auto p = pieces.begin();
        for (std::uint32_t w = d.below(40); w >= p->weight; ++p)
            w -= p->weight;
        out.push_back(d.in(p->first, p->last));
        if (p->first2 <= p->last2)
            out.push_back(d.in(p->first2, p->last2));
    }
    return out;
}

// Dumps a whole file plainly and verbosely, each by the reference and by the fast paths
// into a buffer poisoned before: the same bytes and the same failure. Tracing changes
// what is written, never whether the input is accepted.
void expect_same_dumps(std::span<const std::uint8_t> file, bool archive)
{
    static text_output out;
    std::string texts[2][2];
    status results[2][2];
    for (int verbose = 0; verbose < 2; ++verbose)
        for (int fast = 0; fast < 2; ++fast) {
            out_init_memory(out);
            std::memset(out.buffer, '?', sizeof out.buffer);
            results[verbose][fast] =
                archive ? run_archive_input(file, verbose, out, fast ? game_rendering::fast : game_rendering::reference)
                        : run_pack_input(file, verbose, out, fast ? pack_decoding::fast : pack_decoding::reference);
            out_finish(out);
            texts[verbose][fast] = out.kept;
        }
    for (const auto& [reference, fast] : results)
        EXPECT_TRUE(reference.code == fast.code && reference.position == fast.position && reference.value == fast.value);
    EXPECT_TRUE(texts[0][0] == texts[0][1] && texts[1][0] == texts[1][1] && results[0][0].code == results[1][0].code);
}

TEST(FastPaths, PackStringsAsTheReference)
{
    dice d{std::mt19937(3)};
    int tabled = 0;
    for (int round = 0; round < 4500; ++round) {
        SCOPED_TRACE(round);
        const int kind = round % 3; // a code tree from counts, random node records, exclusive or
        const bool big = round % 300 == 0; // one string many times: dumps beyond the writer's buffer
        std::vector<node_record> records;
        directory_plan plan{{{0, 0}}, {{}}, {{}}, {}};
        bytes& run = plan.runs[0];
        std::vector<std::uint32_t> starts;
        std::vector<bytes> texts(kind == 1 ? 0 : big ? 1 : 1 + d.below(10));
        std::uint64_t counts[256] = {};
        for (bytes& text : texts) // Huffman texts of ASCII bytes, their counts skewed by up to 2^23
            count_symbols(counts, text = random_bytes(kind == 0 ? std::span<const piece>(ascii) : shift_jis, d.below(big ? 20000 : 90), d));
        for (std::uint64_t& count : counts)
            count <<= d.below(24);
        code_table words;
        if (kind == 0) {
            ASSERT_FALSE(failed(build_code_tree(counts, records)));
            code_words(records, words);
        }
        for (const bytes& text : texts) {
            starts.push_back(static_cast<std::uint32_t>(run.size()));
            if (kind == 2)
                xor_encode(text, run);
            else
                ASSERT_FALSE(failed(huffman_encode(words, text, run)));
        }
        starts.resize(big ? 30 : starts.size(), 0);
        if (kind == 1) { // links to any record, to none, past the table or back up the tree
            records.resize(1 + d.below(d.below(2) != 0 ? 8 : 300));
            const auto link = [&] {
                const std::uint32_t k = d.below(10);
                return k < 6 ? d.in(0, std::min<unsigned>(static_cast<unsigned>(records.size()), 255) - 1)
                     : k < 8 ? no_link_byte : d.in(0, 255);
            };
            for (node_record& r : records)
                r = {d.below(4) == 0 ? end_mark : d.below(3) == 0 ? line_feed : d.in(0, 255), 0,
                     d.below(3) == 0 ? no_link_byte : link(), d.below(3) == 0 ? no_link_byte : link()};
            run = random_bytes(game_codes, 1 + d.below(d.below(2) != 0 ? 16 : 400), d);
            starts.resize(d.below(30));
        }
        // A few bits flipped, now and then the run cut short; the starts mostly kept.
        for (std::uint32_t n = d.below(3); n > 0; --n)
            run[d.below(run.size())] ^= static_cast<std::uint8_t>(1 << d.below(8));
        run.resize(d.below(3) == 0 ? 1 + d.below(run.size()) : run.size());
        for (std::uint32_t start : starts)
            plan.blocks[0].strings.push_back({0, d.below(4) != 0 ? std::min(start, static_cast<std::uint32_t>(run.size()) - 1)
                                                                 : d.below(run.size())});
        bytes file;
        write_node_table(records, file);
        ASSERT_FALSE(failed(write_directory(directory_layout::packed, plan, file)));
        pack_image image;
        huff_table table;
        if (failed(parse_pack_tables(file, nullptr, image)))
            continue;
        const bool has_tree = image.num_nodes != 0; // a table for every tree whose root is no leaf
        EXPECT_EQ(has_tree && build_huff_table(image, table), has_tree && !is_leaf(image.nodes[image.root]));
        tabled += table.entries != nullptr;
        expect_same_dumps(file, false);
    }
    EXPECT_GT(tabled, 2300);
}

TEST(FastPaths, ArchiveCodesAsTheReference)
{
    dice d{std::mt19937(6)};
    for (int round = 0; round < 1500; ++round) {
        SCOPED_TRACE(round);
        // Strings start anywhere; the section may end inside a string or after a lead byte.
        directory_plan plan{{{7, 0}}, {{}}, {random_bytes(game_codes, 1 + d.below(400), d)}, {}};
        for (std::uint32_t n = d.below(20); n > 0; --n)
            plan.blocks[0].strings.push_back({0, d.below(plan.runs[0].size())});
        std::vector<bytes> sections(44, bytes{0, 0, 0, 0});
        const std::size_t s = d.below(2) != 0 ? 43 : 8;
        sections[s].clear();
        const auto layout = s == 8 ? directory_layout::with_ids : directory_layout::nested;
        bytes archive;
        ASSERT_FALSE(failed(write_directory(layout, plan, sections[s])) || failed(write_archive(sections, 1, {}, archive)));
        expect_same_dumps(archive, true);
    }
}

TEST(FastPaths, FuzzRegressionsAsTheReference)
{
    for (const std::string format : {"archive", "pack"}) {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(KX_FUZZ_DIR "/regressions/" + format)) {
            SCOPED_TRACE(entry.path().string());
            std::string input;
            ASSERT_TRUE(read_file(entry.path().string(), input));
            expect_same_dumps(bytes(input.begin(), input.end()), format == "archive");
            ++count;
        }
        EXPECT_GT(count, 5u);
    }
}

// Once the offset lists checked outgrow the buffer, the untraced parse checks each list
// through the maxima of runs of its words: it must fail as the same list checked word by
// word as a directory's only block.
TEST(FastPaths, SharedListsFailAsWordByWord)
{
    dice d{std::mt19937(7)};
    constexpr std::uint32_t start = 4 + 8 * 9, region = 60000, shared = 8000;
    int compared = 0, failures = 0;
    for (int round = 0; round < 1500; ++round) {
        // Zero bytes but for 0xFF 0xFF at x. The first 8 blocks share a list of 8000 zero
        // offsets: 64000 words checked, more than the buffer's bytes. The 9th list has n
        // words and holds x's word as word k (k < 0 or k >= n: outside), or one byte off.
        bytes many(start + region), one;
        const std::uint32_t x = start + 2 + 2 * shared + d.below(region - 4 - 2 * shared);
        const std::uint32_t n = 1 + d.below(12000), edges[] = {0, 1, n - 1, n, n + 1};
        const std::int64_t k = d.below(2) ? edges[d.below(5)] : static_cast<std::int64_t>(d.below(n + 20)) - 10;
        const std::int64_t header = x - 2 - 2 * k - d.below(2);
        if (header < start + 2 + 2 * shared || header + 2 + 2 * n > static_cast<std::int64_t>(many.size()))
            continue;
        many[x] = many[x + 1] = 0xFF;
        write_u16le(many.data() + start, shared);
        write_u16le(many.data() + header, static_cast<std::uint16_t>(n));
        one = many;
        write_u32le(many.data(), 9);
        for (std::uint32_t i = 0; i < 9; ++i)
            write_u32le(many.data() + 8 + 8 * i, i < 8 ? start : static_cast<std::uint32_t>(header));
        write_u32le(one.data(), 1);
        write_u32le(one.data() + 8, static_cast<std::uint32_t>(header));
        string_directory a, b;
        const status s = parse_directory(directory_layout::with_ids, many, 0, 0, nullptr, a);
        const status t = parse_directory(directory_layout::with_ids, one, 0, 0, nullptr, b);
        ASSERT_TRUE(s.code == t.code && s.position == t.position && s.value == t.value) << "round " << round;
        ++compared;
        failures += failed(s);
    }
    EXPECT_TRUE(compared > 1000 && failures > 300 && compared - failures > 100) << compared << " " << failures;
}

enum class form { archive, huffman, xor_chain };

// Units that stay canonical joined in any order. ポ (trail byte 0x7C) is text in the
// exclusive-or form only; Huffman files are made of the first 8 units, so that
// translations may need a new tree.
std::string random_text(dice& d, form f, std::size_t kinds = 16)
{
    static const std::string units[2][16] = {
        {"a", "Z", "7", " ", "!", "\n", "{7B}", "}", "{01 79}", "{0A}", "{90}", "。", "あ", "ガ", "王", "ー"},
        {"a", "Z", "7", " ", "!", "\n", "{7B}", "}", "\\", "{80}", "{09}", "あ", "ｱ", "漢", "ー", "ポ"}};
    std::string text;
    for (std::uint32_t n = 1 + d.below(6); n > 0; --n)
        text += units[f != form::archive][d.below(std::min<std::size_t>(kinds, f == form::huffman ? 15 : 16))];
    return text;
}

// Runs of random texts and blocks of strings in them. Entries name random blocks,
// strings random runs, one in four (but in the exclusive-or form, where that is noise)
// inside the run at any byte: that may not decode, and the file is then skipped.
directory_plan random_plan(dice& d, form f, const code_table& code)
{
    directory_plan plan;
    for (std::uint32_t r = 1 + d.below(6); r > 0; --r) {
        bytes text, &run = plan.runs.emplace_back();
        std::size_t at = 0;
        (f == form::archive ? game_bytes_of : pack_bytes_of)(d.below(5) != 0 ? random_text(d, f, 8) : "", text, at);
        if (f == form::archive)
            run = text, run.push_back(game_end_byte);
        else if (f == form::xor_chain)
            xor_encode(text, run);
        else
            EXPECT_FALSE(failed(huffman_encode(code, text, run)));
    }
    for (std::uint32_t b = f == form::archive ? d.below(5) : 1 + d.below(4); b > 0; --b) {
        plan.order.push_back({false, static_cast<std::uint32_t>(plan.blocks.size())}); // the blocks before the runs
        std::vector<string_ref>& strings = plan.blocks.emplace_back().strings;
        for (std::uint32_t j = d.below(6); j > 0; --j) {
            const std::uint32_t r = d.below(plan.runs.size());
            strings.push_back({r, d.below(4) > 0 || f == form::xor_chain ? 0 : d.below(plan.runs[r].size())});
        }
    }
    for (std::uint32_t e = f == form::archive ? d.below(7) : 1 + d.below(6); e > 0 && !plan.blocks.empty(); --e)
        plan.entries.push_back({d.below(0x10000), d.below(plan.blocks.size())});
    for (std::uint32_t r = 0; r < plan.runs.size(); ++r)
        plan.order.push_back({true, r});
    return plan;
}

std::string random_file(dice& d, form f, std::uint32_t& alignment)
{
    std::uint64_t counts[256] = {};
    count_symbols(counts, std::span(reinterpret_cast<const std::uint8_t*>("aZ7 !\n{}"), 8)); // the first 8 units
    std::vector<node_record> records;
    code_table code;
    EXPECT_FALSE(failed(build_code_tree(counts, records)));
    code_words(records, code);
    std::vector<bytes> sections(44);
    bytes out;
    if (f != form::archive) {
        write_node_table(f == form::huffman ? records : std::vector<node_record>{}, out);
        EXPECT_FALSE(failed(write_directory(directory_layout::packed, random_plan(d, f, code), out)));
        return {out.begin(), out.end()};
    }
    for (std::size_t n = 0; n < 44; ++n)
        sections[n].assign(n == 8 || n == 43 ? 0 : d.below(7), d.in(0, 255));
    EXPECT_FALSE(failed(write_directory(directory_layout::with_ids, random_plan(d, f, code), sections[8])));
    EXPECT_FALSE(failed(write_directory(directory_layout::nested, random_plan(d, f, code), sections[43])));
    EXPECT_FALSE(failed(write_archive(sections, alignment = 1u << d.below(4), bytes(d.below(4), 0xEE), out)));
    return {out.begin(), out.end()};
}

// Imported from its own export a file reads as before. Random translations of one entry
// in three, imported twice, give the same bytes, export as the intended texts, and keep
// the archive's section starts on their alignment.
TEST(TextRoundTrip, GeneratedFilesTakeTheirTranslations)
{
    dice d{std::mt19937(20240611)};
    const auto dir = std::filesystem::temp_directory_path() / ("kx_text_test_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const auto at = [&](const char* name) { return (dir / name).string(); };
    int checked = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto f = static_cast<form>(round % 3);
        const std::string kind = f == form::archive ? "archive" : "pack";
        const auto exported = [&](const char* file, std::vector<po_entry>& entries) { // the header first
            const tool_run r = run_tool_in_process({"kx_text", "export", at(file), "--kind", kind});
            std::string error;
            return r.status == 0 && read_po(r.out, entries, error) && write_file(at("E.po"), r.out);
        };
        const auto import = [&](const char* po, const char* out) {
            return run_tool_in_process({"kx_text", "import", at("F"), at(po), "-o", at(out), "--kind", kind});
        };
        std::uint32_t alignment = 1;
        std::vector<po_entry> entries, again;
        ASSERT_TRUE(write_file(at("F"), random_file(d, f, alignment)));
        if (!exported("F", entries))
            continue; // a string starting inside another that does not decode
        tool_run r = import("E.po", "A");
        ASSERT_TRUE(r.status == 0 && exported("A", again) && again.size() == entries.size()) << r.err;
        for (std::size_t i = 1; i < entries.size(); ++i)
            EXPECT_TRUE(again[i].context == entries[i].context && again[i].msgid == entries[i].msgid) << i;
        std::string translated, b, c;
        for (po_entry& e : entries)
            if (e.has_context && d.below(3) == 0) {
                translated += "msgctxt \"" + e.context + "\"\nmsgid ";
                append_quoted(translated, e.msgid);
                translated += "\nmsgstr ";
                append_quoted(translated, e.msgid = random_text(d, f));
                translated += "\n\n";
            }
        ASSERT_TRUE(write_file(at("T.po"), translated));
        ASSERT_EQ((r = import("T.po", "B")).status + import("T.po", "C").status, 0) << r.err << translated;
        ASSERT_TRUE(read_file(at("B"), b) && read_file(at("C"), c) && exported("B", again) && b == c);
        ASSERT_EQ(again.size(), entries.size());
        for (std::size_t i = 1; i < entries.size(); ++i)
            EXPECT_TRUE(again[i].context == entries[i].context && again[i].msgid == entries[i].msgid) << translated;
        for (std::size_t n = 1; n < 44 && f == form::archive; ++n)
            EXPECT_EQ(read_u32le(reinterpret_cast<const std::uint8_t*>(b.data()) + 4 * n) % alignment, 0u) << n;
        ++checked;
    }
    EXPECT_GT(checked, 250);
    std::filesystem::remove_all(dir);
}

} // namespace
