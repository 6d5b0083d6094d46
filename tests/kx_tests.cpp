// The in-process tests. Generated files and the inputs kept under fuzz/regressions/
// through the fast paths and the reference ones; kx_text's round trips over generated
// archives and packs; the text notation; the writers' limits; the example files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <new>
#include <random>

#include "format/archive/game_text.h"
#include "format/le.h"
#include "format/pack/huffman.h"
#include "format/pack/pack_text.h"
#include "format/pack/xor_chain.h"
#include "fuzz/inputs.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"
#include "translate/po.h"

namespace {

std::string message_of(const status& s) { return failure_place(s) + failure_text(s, "F"); }

using bytes = std::vector<std::uint8_t>;

struct dice {
    std::mt19937 rng;
    std::uint32_t below(std::size_t n) { return static_cast<std::uint32_t>(rng() % n); }
    std::uint8_t in(unsigned low, unsigned high) { return static_cast<std::uint8_t>(low + below(high - low + 1)); }
};

// Pieces of random strings, drawn by weight out of 40: a byte from the first range, and
// one from the second unless it is empty (first > last).
struct piece { unsigned weight, first, last, first2, last2; };
// 82 bytes of ASCII leave room for new bytes in a code tree (the last two pieces are never drawn).
constexpr piece ascii[6] = {{24, 0x20, 0x5A, 1, 0}, {4, 0x7D, 0x7E, 1, 0}, {8, 0, 0x0F, 1, 0}, {4, 'a', 'e', 1, 0}};
constexpr piece shift_jis[] = {{14, 0x81, 0x9F, 0x40, 0xFC}, {7, 0xE0, 0xFC, 0x40, 0xFC}, {1, 0x81, 0xFC, 0x7C, 0x7C},
                               {10, 0x20, 0xDF, 1, 0}, {4, 0x0A, 0x0A, 1, 0}, {4, 0, 255, 1, 0}};
constexpr piece game_codes[] = {{12, 0x80, 0xFF, 1, 0}, {12, 1, 4, 0, 255}, {10, 0x20, 0x7E, 1, 0},
                                {3, '\\', '\\', 'n', 'n'}, {1, 0x1F, 0x1F, 1, 0}, {2, 0, 255, 1, 0}};

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
// into a buffer poisoned before: the same bytes and the same failure message. Tracing
// changes what is written, never the failure.
void expect_same_dumps(std::span<const std::uint8_t> file, bool archive)
{
    text_output out;
    std::string texts[2][2], failures[2];
    for (int verbose = 0; verbose < 2; ++verbose)
        for (int fast = 0; fast < 2; ++fast) { // the reference, then the fast way
            out_init_memory(out);
            const std::span<char> room = out_reserve(out, 0);
            std::memset(room.data(), '?', room.size());
            // game_rendering is {reference, fast}; pack_decoding {automatic, reference, fast}.
            const status s = archive ? run_archive_input(file, verbose, out, game_rendering(fast))
                                     : run_pack_input(file, verbose, out, pack_decoding(1 + fast));
            out_finish(out);
            failures[verbose] = message_of(s);
            texts[verbose][fast] = out.kept + failures[verbose];
        }
    EXPECT_TRUE(texts[0][0] == texts[0][1] && texts[1][0] == texts[1][1] && failures[0] == failures[1]);
}

// Units of translations, in an archive and in a pack, that stay canonical joined in any
// order; ポ (trail byte 0x7C) is text in the exclusive-or form only.
const std::string units[2][16] = {
    {"a", "Z", "7", " ", "!", "\n", "{7B}", "}", "{01 79}", "{0A}", "{90}", "。", "あ", "ガ", "王", "ー"},
    {"a", "Z", "7", " ", "!", "\n", "{7B}", "}", "\\", "{80}", "{09}", "あ", "ｱ", "漢", "ー", "ポ"}};

// kx_text on a file: random translations of one entry in three (or of none), imported
// twice, give the same bytes and export as the intended texts. Returns whether kx_text
// takes the file (every string decodes).
bool takes_translations(const bytes& file, int kind, const std::filesystem::path& dir, dice& d)
{
    const auto at = [&](const char* name) { return (dir / name).string(); };
    const std::string form = kind == 3 ? "archive" : "pack";
    std::string translated, b, c, error;
    const auto exported = [&](const char* name) { // the header first; none when the file is refused
        po_contents po;
        const tool_run r = run_tool_in_process({"kx_text", "export", at(name), "--kind", form});
        return r.status == 0 && read_po(r.out, po) ? po.entries : std::vector<po_entry>{};
    };
    const auto import = [&](const char* out) {
        return run_tool_in_process({"kx_text", "import", at("F"), at("T.po"), "-o", at(out), "--kind", form});
    };
    std::vector<po_entry> texts;
    EXPECT_TRUE(write_file(at("F"), std::string(file.begin(), file.end())));
    if ((texts = exported("F")).size() < 2) // refused, or no string to translate
        return false;
    for (po_entry& e : texts)
        if (e.has_context && (translated.empty() || d.below(3) == 0)) {
            translated += "msgctxt \"" + e.context + "\"\nmsgid ";
            append_quoted(translated, e.msgid);
            translated += "\nmsgstr ";
            e.msgid.clear();
            for (std::uint32_t n = 1 + d.below(6); n > 0; --n) // kind 3: an archive; 2: exclusive or
                e.msgid += units[kind != 3][d.below(kind < 2 ? 15 : 16)];
            append_quoted(translated, e.msgid);
            translated += "\n\n";
        }
    EXPECT_TRUE(write_file(at("T.po"), translated));
    const tool_run r = import("B");
    EXPECT_TRUE(r.status == 0 && import("C").err == r.err && read_file(at("B"), b) && read_file(at("C"), c))
        << r.err << translated;
    const std::vector<po_entry> again = exported("B");
    EXPECT_TRUE(b == c && again.size() == texts.size()) << translated;
    for (std::size_t i = 1; i < texts.size() && i < again.size(); ++i)
        EXPECT_TRUE(again[i].context == texts[i].context && again[i].msgid == texts[i].msgid) << translated;
    return true;
}

// Huffman code trees built from skewed counts (code words of 1 to about 30 bits), random
// node records (cycles, missing children, links past the table), Shift-JIS text chained
// by exclusive or with every kind of byte, the archive's codes in layout A or B. Bits are
// flipped, strings start anywhere (inside others), the string bytes are cut short, and
// several entries share the block. Every fifth file goes through kx_text as well. First the
// inputs kept under fuzz/regressions/.
TEST(GeneratedFiles, FastAsTheReferenceAndTranslated)
{
    for (const std::string format : {"archive", "pack"}) {
        const std::filesystem::path inputs = KX_FUZZ_DIR "/regressions/" + format;
        EXPECT_GT(std::distance(std::filesystem::directory_iterator(inputs), {}), 5);
        for (const auto& entry : std::filesystem::directory_iterator(inputs)) {
            std::string input;
            ASSERT_TRUE(read_file(entry.path().string(), input));
            expect_same_dumps(bytes(input.begin(), input.end()), format == "archive");
        }
    }
    dice d{std::mt19937(3)};
    const auto dir = std::filesystem::temp_directory_path() / ("kx_" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(std::filesystem::create_directories(dir));
    int tabled = 0, translated = 0;
    for (int round = 0; round < 6000; ++round) {
        SCOPED_TRACE(round);
        const int kind = round % 4; // a tree from counts, random node records, exclusive or, archive
        const bool big = round % 400 == 0; // one string many times: dumps beyond the writer's buffer
        std::vector<node_record> records;
        directory_plan plan{std::vector<entry_plan>(1 + d.below(3), {d.below(0x10000), 0}), {{}}, {{}}, {}};
        bytes& run = plan.runs[0];
        std::vector<string_ref>& strings = plan.blocks[0].strings;
        std::vector<bytes> texts(kind % 2 != 0 ? 0 : big ? 1 : 1 + d.below(10));
        std::uint64_t counts[256] = {};
        for (bytes& text : texts)
            count_symbols(counts, text = random_bytes(kind == 0 ? ascii : shift_jis, d.below(big ? 6000 : 90), d));
        for (std::uint64_t& count : counts) // skewed: code words of 1 to about 30 bits
            count <<= d.below(24);
        code_table words;
        ASSERT_TRUE(kind != 0 || !failed(build_code_tree(counts, records)));
        code_words(records, words);
        for (const bytes& text : texts) {
            strings.push_back({0, static_cast<std::uint32_t>(run.size())});
            if (kind == 2)
                xor_encode(text, run);
            else
                ASSERT_FALSE(failed(huffman_encode(words, text, run)));
        }
        strings.resize(big ? 30 : strings.size(), {0, 0});
        if (kind % 2 != 0) { // random bytes and starts; random node records, linked anywhere or nowhere
            run = random_bytes(game_codes, 1 + d.below(d.below(2) != 0 ? 16 : 400), d);
            strings.resize(d.below(30));
            records.resize(kind == 1 ? 1 + d.below(d.below(2) != 0 ? 8 : 300) : 0);
            const unsigned last = std::min<unsigned>(static_cast<unsigned>(records.size()), 256) - 1;
            const auto link = [&] { return d.below(2) ? no_link_byte : d.in(0, d.below(4) ? last : 255); };
            for (node_record& r : records)
                r = {d.below(4) == 0 ? end_mark : d.in(0, 255), 0, link(), link()};
        }
        for (std::uint32_t n = d.below(3); n > 0; --n)
            run[d.below(run.size())] ^= static_cast<std::uint8_t>(1 << d.below(8));
        run.resize(d.below(3) == 0 ? 1 + d.below(run.size()) : run.size());
        const auto size = static_cast<std::uint32_t>(run.size());
        for (string_ref& s : strings)
            s.offset = kind % 2 != 0 || d.below(4) == 0 ? d.below(size) : std::min(s.offset, size - 1);
        // A pack, or an archive of random sections but 8 (layout A) and 43 (layout B), one of them empty.
        bytes file;
        std::vector<bytes> sections(44);
        for (std::size_t n = 0; n < 44; ++n)
            sections[n].assign(n == 8 || n == 43 ? 4 : d.below(7), n == 8 || n == 43 ? 0 : d.in(0, 255));
        const bool a = d.below(2) != 0;
        if (kind == 3)
            sections[a ? 8 : 43].clear();
        else
            write_node_table(records, file);
        const auto layout = kind != 3 ? directory_layout::packed
                                      : a ? directory_layout::with_ids : directory_layout::nested;
        ASSERT_FALSE(failed(write_directory(layout, plan, kind == 3 ? sections[a ? 8 : 43] : file)));
        ASSERT_FALSE(kind == 3 && failed(write_archive(sections, 1u << d.below(4), bytes(d.below(4), 0xEE), file)));
        expect_same_dumps(file, kind == 3);
        translated += round % 5 == 0 && kind != 1 && !big && takes_translations(file, kind, dir, d);
        pack_image image;
        huff_table table;
        if (kind == 3 || failed(parse_pack_tables(file, nullptr, image)))
            continue;
        const bool tree = image.num_nodes != 0; // a table for every tree whose root is no leaf
        EXPECT_EQ(tree && build_huff_table(image, table), tree && !is_leaf(image.nodes[image.root]));
        tabled += table.entries != nullptr;
    }
    EXPECT_TRUE(tabled > 2300 && translated > 200) << tabled << " " << translated;
    std::filesystem::remove_all(dir);

    // Once the offset lists checked outgrow the buffer, a plain parse checks each list through
    // the maxima of runs of its words, a verbose one every word. Eight blocks share 2600 zero
    // words (20800 words checked, more than the 20076 to 20203 bytes, whose words fill the
    // last run of 64 to every extent); the ninth list, n zero words, holds 0xFFFF as word k
    // (outside the list for k < 0 or k >= n), or one byte off.
    text_output trace; // discards
    int failures = 0;
    for (int round = 0; round < 400; ++round) {
        bytes data(20076 + d.below(128));
        const std::uint32_t n = 1 + d.below(d.below(2) ? 130 : 6000), header = 5300 + d.below(2600);
        const std::uint32_t edges[] = {0, 1, n - 1, n, n + 1};
        const std::int64_t k = d.below(2) ? edges[d.below(5)] : static_cast<std::int64_t>(d.below(n + 20)) - 10;
        const auto x = static_cast<std::size_t>(header + 2 + 2 * k + d.below(2));
        data[x] = data[x + 1] = 0xFF;
        for (std::uint32_t i = 0; i < 10; ++i) // the count, then the offsets of the entries
            write_u32le(data.data() + 8 * i, i == 0 ? 9 : i < 9 ? 76 : header);
        write_u16le(data.data() + 76, 2600);
        write_u16le(data.data() + header, static_cast<std::uint16_t>(n));
        string_directory plain, traced;
        const status s = parse_directory(directory_layout::with_ids, data, 0, 0, nullptr, plain);
        EXPECT_EQ(message_of(s), message_of(parse_directory(directory_layout::with_ids, data, 0, 0, &trace, traced)));
        failures += failed(s);
    }
    EXPECT_TRUE(failures > 200 && failures < 380) << failures;
}

// Every byte string has one text, and the text reads back as those bytes: hand-picked
// strings with their texts, and random ones.
TEST(Notation, TextsAndTheirEdgeCases)
{
    std::vector<std::tuple<bool, bytes, std::string>> cases = { // pack?, bytes, text
        // ー's second code 0x90, codes without a character, control bytes, the line break, a second byte that
        // takes no part in a break; in a pack a duplicate pair, an unassigned pair, lone and stray bytes.
        {false, {'{', '}', 0xB0, 0x90, 0x01, 0x1F, 0x01, 0x79, 0x85, 0x0A, 0x7F}, "{7B}}ー{90}ジ{01 79}{85}{0A}{7F}"},
        {false, {'\\', 'n', 'A', '\\', '\\', 'n', 0x01, '\\', 'n'}, "\nA\\\n屋n"}, // empty strings: among the random
        {true, {'{', 0x0A, 0x09, 0x83, 0x7C, 0x81, 0xCA, 0xEE, 0xF9, 0x85, 0x40}, "{7B}\n{09}ポ￢{EE F9}{85 40}"},
        {true, {0x82, 0x3F, 0x80, 0xA0, 0xFD, 0x82}, "{82}?{80}{A0}{FD}{82}"},
    };
    dice d{std::mt19937(5)};
    bytes back;
    std::size_t at = 0;
    // An archive string holds an end byte only as a second byte, and no lead byte at its end.
    for (int n = 0; n < 4000; ++n) {
        bytes game = random_bytes(game_codes, d.below(8), d);
        std::replace(game.begin(), game.end(), game_end_byte, std::uint8_t{0x1E});
        if (!game.empty() && is_game_lead(game.back()))
            game.push_back('A');
        cases.push_back({false, game, ""});
        cases.push_back({true, random_bytes(shift_jis, d.below(8), d), ""});
    }
    for (const auto& [pack, stored, text] : cases) {
        std::string made;
        bytes with_end = stored;
        with_end.push_back(game_end_byte);
        if (pack)
            pack_text_of(stored, made);
        else
            EXPECT_FALSE(failed(game_text_of(with_end, 0, made)));
        EXPECT_TRUE(made == text || (text.empty() && !stored.empty())) << made;
        EXPECT_TRUE((pack ? pack_bytes_of : game_bytes_of)(made, back, at) == text_fault::none && back == stored)
            << made;
    }

    // Texts that have no bytes and the character where they fail; quoted strings.
    using enum text_fault;
    const std::tuple<std::string, text_fault, std::size_t> faults[] = { // in both encodings; the character
        {"aあ{0}", bad_escape, 3}, {"{}", bad_escape, 1}, {"{0A", bad_escape, 1}, {"{0A  0B}", bad_escape, 1},
        {"{G0}", bad_escape, 1}, {"{0}}", bad_escape, 1}, {"a\tb", control, 2}, {"😀", no_code, 1},
        // UTF-8 at the edges of each length: U+07FF, U+0800, U+FFFF, U+10000, U+10FFFF have no code; a cut
        // character, overlong forms, surrogates and U+110000 are no UTF-8.
        {"\xDF\xBF", no_code, 1}, {"\xE0\xA0\x80", no_code, 1}, {"\xEF\xBF\xBF", no_code, 1},
        {"\xF0\x90\x80\x80", no_code, 1}, {"\xF4\x8F\xBF\xBF", no_code, 1}, {"\xE3\x81", bad_utf8, 1},
        {"\xC0\xAF", bad_utf8, 1}, {"\xC1\xBF", bad_utf8, 1}, {"\xE0\x9F\xBF", bad_utf8, 1},
        {"\xF0\x8F\xBF\xBF", bad_utf8, 1}, {"x\xED\xA0\x80", bad_utf8, 2}, {"\xED\xBF\xBF", bad_utf8, 1},
        {"\xF4\x90\x80\x80", bad_utf8, 1},
    };
    for (const auto& [text, fault, column] : faults) {
        EXPECT_EQ(pack_bytes_of(text, back, at), fault) << text;
        EXPECT_TRUE(game_bytes_of(text, back, at) == fault && character_column(text, at) == column) << text;
    }
    EXPECT_TRUE(pack_bytes_of("{0a fF}", back, at) == none && back == (bytes{0x0A, 0xFF})); // either case
    // Characters at the edges of each UTF-8 length, written and read back.
    for (const char32_t c : {U'\x7F', U'\x80', U'\x7FF', U'\x800', U'\xFFFF', U'\x10000', U'\x10FFFF'}) {
        std::string utf8;
        char32_t read = 0;
        append_utf8(utf8, c);
        EXPECT_TRUE(read_utf8(utf8, 0, read) == utf8.size() && read == c) << utf8; // no overlong form
    }
    const std::string plain("a\"b\\c\n\t\r\x01\x0B\x1F\x7F\xE3\x81\x82", 15);
    std::string quoted, text;
    append_quoted(quoted, plain);
    EXPECT_EQ(quoted, "\"a\\\"b\\\\c\\n\\t\\r\\001\\013\\037\\177\xE3\x81\x82\"");
    using pair = std::pair<std::string, std::string>; // what reads back, "" for a failure
    for (const auto& [in, out] : {pair{quoted, plain}, {"\"\\x41\\102\\a\\x414\\1234\"", "AB\aA4S4"},
                                  {"\"abc", ""}, {"\"\\q\"", ""}, {"abc\"", ""}, {"\"\\x\"", ""}}) {
        const bool read = read_quoted(in, at = 0, text);
        EXPECT_TRUE(read == !out.empty() && (!read || (text == out && at == in.size()))) << in;
    }
    // An archive string whose lead byte comes right before the end: the end byte is its second byte.
    EXPECT_EQ(game_text_of(bytes{'A', 0x01, game_end_byte}, 0, text).code, failure::out_of_buffer);
    // Every fault of a text, in its order (kind@place): reading goes on after each.
    coded_text coded;
    game_stored_bytes("a\x80{zz}\t漢b\xE3\x81", coded);
    std::string listed;
    for (const text_problem& p : coded.problems)
        listed += std::to_string(static_cast<int>(p.fault)) + "@" + std::to_string(p.at) + " ";
    EXPECT_EQ(listed, "1@1 2@2 4@6 3@7 1@11 ");
    // A code tree is sound when no node is reached twice and every inner node has two children.
    const node_record sound[] = {{'a', 2, 0xFF, 0xFF}, {'|', 2, 0xFF, 0xFF}, {0, 0xFF, 0, 1}};
    const node_record same[] = {{'a', 1, 0xFF, 0xFF}, {0, 0xFF, 0, 0}}, one[] = {{'a', 1, 0xFF, 0xFF}, {0, 0xFF, 0, 0xFF}};
    const node_record twice[] = {{'a', 2, 0xFF, 0xFF}, {'b', 2, 0xFF, 0xFF}, {0, 3, 0, 1}, {0, 0xFF, 2, 1}};
    const node_record leaf[] = {{'|', 0xFF, 0xFF, 0xFF}}; // a root without children: one word, of no bits
    EXPECT_TRUE(is_sound_tree(sound) && !is_sound_tree(same) && !is_sound_tree(one) && !is_sound_tree(twice));
    EXPECT_TRUE(is_sound_tree(leaf) && !is_sound_tree({}));
}

// The writers refuse what their format cannot hold, each with the message that names the
// count or the block; at the limit itself they still write. And they make the example
// files from their sources byte for byte.
TEST(Writers, LimitsAndTheExamples)
{
    const auto shared = [](std::size_t blocks, std::size_t strings, bytes out = {}) { // entries naming one block
        return write_directory(directory_layout::with_ids, {std::vector<entry_plan>(blocks, {0, 0}),
                               {{std::vector<string_ref>(strings, {0, 0})}}, {{'A', 0x1F}}, {}}, out);
    };
    std::uint64_t counts[256] = {}, more[256] = {};
    std::fill_n(counts, 128, 1); // 0x00-0x7F, the end mark among them
    std::fill_n(more, 129, 1);
    std::vector<node_record> records;
    const node_record tree[] = {{'x', 2, 0xFF, 0xFF}, {'|', 2, 0xFF, 0xFF}, {0, 0xFF, 0, 1}}; // x 0, end mark 1
    code_table words;
    code_words(tree, words);
    bytes out, file;
    // A text with the end mark, at the second string of the second block of a Huffman pack.
    std::string error;
    ASSERT_TRUE(pack_from_source("[block 1]\n\"x\"\n[block 2]\n\"a\"\n\"xx\"\n", true, file, error)) << error;
    pack_file pack;
    ASSERT_FALSE(failed(parse_pack_file(file, pack)));
    new_text bar{0, 1, 1, {'x', '|'}, {}};
    rebuilt_file rebuilt;
    const std::pair<status, std::string> cases[] = {
        {shared(0xFFFF, 0xFFFF), ""},
        {shared(0x10000, 1), "65536 blocks, more than a directory holds (65535)"},
        {shared(3, 0x10000), "block 0: 65536 strings, more than a block holds (65535)"},
        // Layout C: the block's offsets count from 12; a string 65535 on still fits, 65536 on not.
        {write_directory(directory_layout::packed, {{{0, 0}}, {{{{0, 65535}}}}, {bytes(65537)}, {}}, out), ""},
        {write_directory(directory_layout::packed, {{{0, 0}}, {{{{0, 65536}}}}, {bytes(65537)}, {}}, out),
         "block 0, string 0: the string would lie 65536 bytes from its offset base, beyond the 65535 a 16-bit offset "
         "reaches"},
        {build_code_tree(counts, records), ""},
        {build_code_tree(more, records), "the texts hold 129 distinct bytes with the end mark, more than a code tree "
                                         "holds (128)"},
        {huffman_encode(words, bytes{'x', 'y'}, out), "the code tree has no code word for the byte 79"},
        {rebuild_pack(pack, std::span(&bar, 1), rebuilt), "block 1, string 1: the text holds the end mark 7C, which "
                                                          "this form cannot store"},
        // Three sections of one byte aligned to 2 GiB: 4 GiB and 1, and a trailer of 2.
        {write_archive(std::vector<bytes>(3, {0}), 1u << 31, bytes{1, 2}, out),
         "the result would be 4294967299 bytes, more than 32-bit offsets reach (4 GiB)"},
    };
    for (const auto& [s, message] : cases)
        EXPECT_EQ(message_of(s), message);

    // The example files are what the writers make of their sources.
    const auto dir = std::filesystem::temp_directory_path() / ("kx_" + std::to_string(std::random_device{}()));
    std::string committed, made;
    ASSERT_TRUE(std::filesystem::create_directories(dir) && write_examples(KX_EXAMPLES_DIR, dir.string(), error))
        << error;
    for (const std::string name : {"KESTRA", "STRINGS.PAK", "XOR.PAK"})
        EXPECT_TRUE(read_file(KX_EXAMPLES_DIR "/" + name, committed) && read_file((dir / name).string(), made) &&
                    !committed.empty() && made == committed) << name << " differs from its source";
    std::filesystem::remove_all(dir);
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
        out_drain(out);
        out_byte(out, '.'); // one byte alone in the buffer
        expected += std::string(70, ' ') + "   -4200ABC.";
        out_finish(out);
        EXPECT_TRUE(out.kept == expected);
    }
}

// A source in memory reads as a file does: nothing at its end, and not a byte past it.
TEST(Source, InMemoryReadsUpToItsEnd)
{
    const std::uint8_t four[4] = {1, 2, 3, 4};
    std::uint8_t two[2] = {};
    byte_source in = memory_source("", four);
    EXPECT_TRUE(!failed(source_open(in)) && !failed(source_read(in, 4, {})) && failed(source_read(in, 5, {})));
    EXPECT_TRUE(!failed(source_read_at(in, 1, two)) && two[0] == 2 && two[1] == 3);
    EXPECT_TRUE(failed(source_read_at(in, 3, two)));
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
