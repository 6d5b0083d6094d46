// kx_text in-process on generated archives and packs (Huffman, exclusive-or) whose
// entries share blocks and whose strings share starts and start inside others' bytes:
// imported from its own export a file dumps as before, a PO imported twice gives the
// same bytes, random canonical translations dump as a file made from the texts does.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "format/archive/archive.h"
#include "format/archive/game_text.h"
#include "format/le.h"
#include "format/pack/pack_text.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"
#include "format/game_file.h"
#include "format/pack/huffman.h"
#include "format/pack/xor_chain.h"
#include "translate/po.h"

namespace {

using bytes = std::vector<std::uint8_t>;
enum class form { archive, huffman, xor_chain };
std::uint32_t pick(std::mt19937& rng, std::size_t low, std::size_t high)
{
    return static_cast<std::uint32_t>(std::uniform_int_distribution<std::size_t>(low, high)(rng));
}

// Units that stay canonical joined in any order. ポ (trail byte 0x7C) is text in the
// exclusive-or form only; Huffman files are made of the first 8 units, so that
// translations may need a new tree.
std::string random_text(std::mt19937& rng, form f, std::size_t kinds = 16)
{
    static const std::string units[2][16] = {
        {"a", "Z", "7", " ", "!", "\n", "{7B}", "}", "{01 79}", "{0A}", "{90}", "。", "あ", "ガ", "王", "ー"},
        {"a", "Z", "7", " ", "!", "\n", "{7B}", "}", "\\", "{80}", "{09}", "あ", "ｱ", "漢", "ー", "ポ"}};
    std::string text;
    for (std::uint32_t n = pick(rng, 1, 6); n > 0; --n)
        text += units[f != form::archive][pick(rng, 0, std::min<std::size_t>(kinds, f == form::huffman ? 15 : 16) - 1)];
    return text;
}

// Blocks, then runs of random texts. Entries name random blocks, strings random runs,
// one in four (but in the exclusive-or form, where that is noise) inside the run at
// any byte: that may not decode, and the dumper refuses the file, which is skipped.
directory_plan random_plan(std::mt19937& rng, form f, const code_table& code)
{
    directory_plan plan;
    for (std::uint32_t r = pick(rng, 1, 6); r > 0; --r) {
        bytes text;
        std::size_t at = 0;
        (f == form::archive ? game_bytes_of : pack_bytes_of)(pick(rng, 0, 4) ? random_text(rng, f, 8) : "", text, at);
        bytes& run = plan.runs.emplace_back(f == form::archive ? text : bytes{});
        if (f == form::archive)
            run.push_back(game_end_byte);
        else
            f == form::xor_chain ? xor_encode(text, run) : void(huffman_encode(code, text, run));
    }
    for (std::uint32_t b = pick(rng, f == form::archive ? 0 : 1, 4); b > 0; --b) {
        plan.order.push_back({false, static_cast<std::uint32_t>(plan.blocks.size())});
        std::vector<string_ref>& strings = plan.blocks.emplace_back().strings;
        for (std::uint32_t j = pick(rng, 0, 5); j > 0; --j) {
            const std::uint32_t r = pick(rng, 0, plan.runs.size() - 1);
            strings.push_back({r, pick(rng, 0, 3) > 0 || f == form::xor_chain ? 0 : pick(rng, 0, plan.runs[r].size() - 1)});
        }
    }
    for (std::uint32_t e = pick(rng, f == form::archive ? 0 : 1, 6); e > 0 && !plan.blocks.empty(); --e)
        plan.entries.push_back({pick(rng, 0, 0xFFFF), pick(rng, 0, plan.blocks.size() - 1)});
    for (std::uint32_t r = 0; r < plan.runs.size(); ++r)
        plan.order.push_back({true, r});
    return plan;
}

std::string random_file(std::mt19937& rng, form f)
{
    std::uint64_t counts[256] = {};
    count_symbols(counts, std::span(reinterpret_cast<const std::uint8_t*>("aZ7 !\n{}"), 8)); // the first 8 units
    std::vector<node_record> records;
    code_table code;
    build_code_tree(counts, records);
    code_words(records, code);
    std::vector<bytes> sections(44);
    bytes out;
    if (f != form::archive) {
        write_node_table(f == form::huffman ? records : std::vector<node_record>{}, out);
        write_directory(directory_layout::packed, random_plan(rng, f, code), out);
        return {out.begin(), out.end()};
    }
    for (std::size_t n = 0; n < 44; ++n)
        sections[n].assign(n == 8 || n == 43 ? 0 : pick(rng, 0, 6), static_cast<std::uint8_t>(pick(rng, 0, 255)));
    write_directory(directory_layout::with_ids, random_plan(rng, f, code), sections[8]);
    write_directory(directory_layout::nested, random_plan(rng, f, code), sections[43]);
    write_archive(sections, 1u << pick(rng, 0, 3), bytes(pick(rng, 0, 3), 0xEE), out);
    return {out.begin(), out.end()};
}

TEST(TextRoundTrip, GeneratedFilesDumpAsTheirTexts)
{
    std::mt19937 rng(20240611);
    const auto dir = std::filesystem::temp_directory_path() / ("kx_text_test_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const auto at = [&](const char* name) { return (dir / name).string(); };
    int checked = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto f = static_cast<form>(round % 3);
        const std::string kind = f == form::archive ? "archive" : "pack", dumper = f == form::archive ? "kxps_strings" : "kx_strings";
        const auto import = [&](const char* po, const char* out) {
            return run_tool_in_process({"kx_text", "import", at("F"), at(po), "-o", at(out), "--kind", kind});
        };
        ASSERT_TRUE(write_file(at("F"), random_file(rng, f)));
        const tool_run original = run_tool_in_process({dumper, at("F")});
        if (original.status != 0)
            continue; // a string starting inside another that does not decode
        ASSERT_EQ(run_tool_in_process({"kx_text", "export", at("F"), "--kind", kind, "-o", at("F.po")}).status, 0);
        tool_run r = import("F.po", "A");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(run_tool_in_process({dumper, at("A")}).out, original.out);

        // One entry in three translated; the intended texts make the reference file.
        std::string po, translated, source;
        std::vector<po_entry> entries; // the header first
        ASSERT_TRUE(read_file(at("F.po"), po) && read_po(po, entries, r.err));
        int section = -1, block = -1, x = 0, y = 0;
        for (po_entry& e : entries) {
            if (!e.has_context || std::sscanf(e.context.c_str(), "%d:%d", &x, &y) != 2)
                continue;
            if (pick(rng, 0, 2) == 0) {
                translated += "msgctxt \"" + e.context + "\"\nmsgid ";
                append_quoted(translated, e.msgid);
                translated += "\nmsgstr ";
                append_quoted(translated, e.msgid = random_text(rng, f));
                translated += "\n\n";
            }
            if (f == form::archive && x != section)
                source += "[section " + std::to_string(x) + "]\n", section = x, block = -1;
            for (; block < (f == form::archive ? y : x); ++block)
                source += "[block]\n";
            append_quoted(source, e.msgid);
            source += "\n";
        }
        bytes reference;
        ASSERT_TRUE(f == form::archive ? archive_from_source(source, reference, r.err)
                                       : pack_from_source(source, f == form::huffman, reference, r.err)) << r.err;
        ASSERT_TRUE(write_file(at("T.po"), translated) && write_file(at("R"), std::string(reference.begin(), reference.end())));
        ASSERT_EQ((r = import("T.po", "B")).status + import("T.po", "C").status, 0) << r.err << translated;
        std::string b, c;
        EXPECT_TRUE(read_file(at("B"), b) && read_file(at("C"), c) && b == c);
        EXPECT_EQ(run_tool_in_process({dumper, at("B")}).out, run_tool_in_process({dumper, at("R")}).out) << translated;
        ++checked;
    }
    EXPECT_GT(checked, 200);
    std::filesystem::remove_all(dir);
}

// The check of a rebuilt file, kx_text's last guard, finds a string that does not hold
// its intended text and a section other than 8 and 43 that is not the old one.
TEST(TextRebuild, CheckFindsWhatDiffers)
{
    game_file file, other;
    kind_failures why;
    ASSERT_FALSE(failed(load_game_file(std::string(KX_EXAMPLES_DIR) + "/KESTRA", std::nullopt, file, why)));
    EXPECT_FALSE(failed(check_rebuilt(file, {}, file)));
    const std::vector<new_text> texts{{0, 0, 1, {'x'}, {}}};
    EXPECT_EQ(failure_text(check_rebuilt(file, texts, file), ""), "string 8:0:1 does not read back as intended");
    bytes changed = file.bytes;
    ++changed[180]; // the first byte of section 0
    ASSERT_FALSE(failed(parse_game_file(changed, "KESTRA", file_kind::archive, other)));
    EXPECT_EQ(failure_text(check_rebuilt(file, {}, other), ""), "section 0 was not copied unchanged");
}

// Four entries share a block of 12001 strings; their different translations of string
// 0 give each a copy of the list, 24004 bytes, and three copies stand between the first
// one and the unchanged strings it shares: beyond a 16-bit offset. Each copy then takes
// its own strings, and the file is written.
TEST(TextRebuild, CopiesBeyondTheReachOfSharedStringsTakeTheirOwn)
{
    directory_plan plan{{{1, 0}, {2, 0}, {3, 0}, {4, 0}}, {{std::vector<string_ref>(12000, {0, 0})}}, {}, {}};
    plan.blocks[0].strings.push_back({1, 0});
    for (const char* text : {"a", "b"})
        xor_encode(std::span(reinterpret_cast<const std::uint8_t*>(text), 1), plan.runs.emplace_back());
    bytes file;
    write_node_table({}, file);
    ASSERT_FALSE(failed(write_directory(directory_layout::packed, plan, file)));
    const std::string dir = (std::filesystem::temp_directory_path() / "kx_text_copies").string();
    std::filesystem::create_directories(dir);
    std::string po;
    for (int e = 0; e < 4; ++e)
        po += "msgctxt \"" + std::to_string(e) + ":0\"\nmsgid \"a\"\nmsgstr \"A" + std::to_string(e) + "\"\n\n";
    ASSERT_TRUE(write_file(dir + "/T.PAK", std::string(file.begin(), file.end())) && write_file(dir + "/T.po", po));
    const tool_run import = run_tool_in_process({"kx_text", "import", dir + "/T.PAK", dir + "/T.po", "-o", dir + "/NEW.PAK"});
    EXPECT_EQ(import.err, "4 strings changed, 48000 kept, 0 bytes dropped, 24036 bytes before, 96072 after\n");
    const std::string dump = run_tool_in_process({"kx_strings", dir + "/NEW.PAK"}).out;
    for (const char* line : {"[  0][  0] = A0\n[  0][  1] = a\n", "[  3][  0] = A3\n", "[  3][12000] = b\n"})
        EXPECT_NE(dump.find(line), std::string::npos) << line;
    std::filesystem::remove_all(dir);
}

// Section starts on multiples of 2048 stay so when section 8 grows past a boundary:
// it is padded with zero bytes, and the sections after it move by 2048.
TEST(TextRebuild, SectionsKeepTheirAlignment)
{
    std::vector<bytes> sections(44, bytes{'S'});
    directory_plan plan{{{5, 0}}, {{{{0, 0}}}}, {{'A', 'B', game_end_byte}}, {}};
    sections[8].clear();
    ASSERT_FALSE(failed(write_directory(directory_layout::with_ids, plan, sections[8])));
    sections[43] = {0, 0, 0, 0};
    bytes file;
    ASSERT_FALSE(failed(write_archive(sections, 2048, {}, file)));
    const std::string dir = (std::filesystem::temp_directory_path() / "kx_text_aligned").string();
    std::filesystem::create_directories(dir);
    const std::string po = "msgctxt \"8:0:0\"\nmsgid \"AB\"\nmsgstr \"" + std::string(3000, 'x') + "\"\n";
    ASSERT_TRUE(write_file(dir + "/A", std::string(file.begin(), file.end())) && write_file(dir + "/A.po", po));
    const tool_run import = run_tool_in_process({"kx_text", "import", dir + "/A", dir + "/A.po", "-o", dir + "/B", "--kind", "archive"});
    EXPECT_EQ(import.status, 0) << import.err;
    std::string rebuilt;
    ASSERT_TRUE(read_file(dir + "/B", rebuilt));
    const auto entry = [&](std::size_t n) { return read_u32le(reinterpret_cast<const std::uint8_t*>(rebuilt.data()) + 4 * n); };
    for (std::size_t n = 1; n < 44; ++n)
        EXPECT_EQ(entry(n), 2048 * (n + (n > 8 ? 1 : 0))) << "entry " << n;
    const std::size_t used = 4 + 8 + 2 + 2 + 3001; // directory, block, the new string
    EXPECT_EQ(rebuilt.substr(entry(8) + used, entry(9) - entry(8) - used), std::string(entry(9) - entry(8) - used, '\0'));
    std::filesystem::remove_all(dir);
}

} // namespace
