#include "bench/inputs.h"

#include <random>

#include "format/archive/archive.h"
#include "format/archive/char_map.h"
#include "format/archive/game_text.h"
#include "format/le.h"
#include "format/notation.h"
#include "format/pack/cp932.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"
#include "format/pack/xor_chain.h"
#include "format/pack/pack_text.h"

namespace {

using bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t block_bytes = 60000; // stored bytes per block: 16-bit offsets reach them all
constexpr std::uint32_t block_strings = 1000;

// Words drawn with Zipf frequencies: the k-th most common word has weight 1/k.
struct zipf_words {
    std::vector<std::u32string> words;
    std::discrete_distribution<std::size_t> pick;
};

zipf_words zipf_of(std::vector<std::u32string> words)
{
    std::vector<double> weights;
    for (std::size_t k = 1; k <= words.size(); ++k)
        weights.push_back(1.0 / static_cast<double>(k));
    return {std::move(words), std::discrete_distribution<std::size_t>(weights.begin(), weights.end())};
}

// A text of 10 to 80 characters: words joined by `separator` (none when 0), sometimes
// a comma or a line break between two words, and a final stop.
std::string sentence(zipf_words& vocabulary, char32_t separator, char32_t comma, char32_t stop, std::mt19937_64& rng)
{
    const std::size_t target = 10 + rng() % 71;
    const bool line_break = rng() % 8 == 0;
    std::u32string text;
    while (text.size() + 1 < target) {
        if (!text.empty()) {
            if (line_break && text.size() >= target / 2 && text.find(U'\n') == std::u32string::npos)
                text += U'\n';
            else if (rng() % 10 == 0)
                text += comma;
            if (separator != 0)
                text += separator;
        }
        text += vocabulary.words[vocabulary.pick(rng)];
    }
    text.resize(std::min<std::size_t>(text.size(), 79));
    text += stop;
    std::string utf8;
    for (char32_t c : text)
        append_utf8(utf8, c);
    return utf8;
}

// `count` words of one to `longest` characters taken from `characters` with the given weights.
std::vector<std::u32string> word_list(const std::u32string& characters, const std::vector<double>& weights,
                                      std::size_t count, std::size_t longest, std::mt19937_64& rng)
{
    std::discrete_distribution<std::size_t> character(weights.begin(), weights.end());
    std::vector<std::u32string> words(count);
    for (std::u32string& word : words)
        for (std::size_t n = 1 + rng() % longest; n > 0; --n)
            word += characters[character(rng)];
    return words;
}

std::vector<std::u32string> english_words(std::mt19937_64& rng)
{
    const std::u32string letters = U"etaoinshrdlcumwfgypbvkjxqz";
    const std::vector<double> weights = {12.7, 9.1, 8.2, 7.5, 7.0, 6.7, 6.3, 6.1, 6.0, 4.3, 4.0, 2.8, 2.8,
                                         2.4,  2.4, 2.2, 2.0, 2.0, 1.9, 1.5, 1.0, 0.8, 0.2, 0.2, 0.1, 0.1};
    std::vector<std::u32string> words = word_list(letters, weights, 8000, 9, rng);
    for (std::size_t k = 0; k < words.size(); k += 7) // names and sentence starts
        words[k][0] = static_cast<char32_t>(words[k][0] - 0x20);
    words.insert(words.begin() + 40, U"HP 120/120");
    return words;
}

// Whether the archive's map (or Shift-JIS) has a code for `c`.
bool codable(char32_t c, bool archive)
{
    return archive ? game_code_of(c).length != 0 : cp932_encode(c).length != 0;
}

// Kana and kanji in the proportions of ordinary Japanese prose, each character one that
// the encoding at hand can store.
std::vector<std::u32string> japanese_words(bool archive, std::mt19937_64& rng)
{
    std::u32string hiragana, katakana, kanji;
    for (char32_t c = U'ぁ'; c <= U'ん'; ++c)
        if (codable(c, archive))
            hiragana += c;
    for (char32_t c = U'ァ'; c <= U'ン'; ++c)
        if (codable(c, archive))
            katakana += c;
    if (archive) {
        for (std::size_t entry = 128; entry < char_map_size; ++entry)
            if (const char32_t c = game_character(entry); c >= 0x4E00 && codable(c, true))
                kanji += c;
    } else {
        for (std::uint8_t lead = 0x88; lead <= 0x98; ++lead) // the first level of JIS kanji
            for (std::uint8_t trail = 0x40; trail <= 0xFC; ++trail)
                if (const char32_t c = cp932_pair(lead, trail); c >= 0x4E00)
                    kanji += c;
    }
    const std::vector<std::u32string> pools[] = {
        word_list(hiragana, std::vector<double>(hiragana.size(), 1.0), 3000, 4, rng),
        word_list(kanji, std::vector<double>(kanji.size(), 1.0), 4000, 2, rng),
        word_list(katakana, std::vector<double>(katakana.size(), 1.0), 1000, 5, rng)};
    std::vector<std::u32string> words;
    for (std::size_t k = 0; k < 8000; ++k)
        words.push_back(pools[k % 8 < 4 ? 0 : k % 8 < 7 ? 1 : 2][k / 8]);
    words.insert(words.begin() + 30, U"Lv 12");
    return words;
}

// Blocks of consecutive runs, each run one string, and a directory entry per block.
directory_plan plan_of(std::vector<bytes> runs, std::uint32_t first_id)
{
    directory_plan plan;
    std::uint64_t stored = 0;
    for (std::uint32_t r = 0; r < runs.size(); ++r) {
        if (plan.blocks.empty() || stored + runs[r].size() > block_bytes ||
            plan.blocks.back().strings.size() == block_strings) {
            plan.entries.push_back({first_id + static_cast<std::uint32_t>(plan.blocks.size()),
                                    static_cast<std::uint32_t>(plan.blocks.size())});
            plan.blocks.emplace_back();
            stored = 0;
        }
        plan.blocks.back().strings.push_back({r, 0});
        stored += runs[r].size();
    }
    plan.runs = std::move(runs);
    return plan;
}

bool report(const status& s, std::string& error)
{
    error = failure_text(s, "");
    return false;
}

} // namespace

bool make_huffman_pack(std::uint64_t text_bytes, std::uint64_t seed, bytes& out, std::string& error)
{
    std::mt19937_64 rng(seed);
    zipf_words vocabulary = zipf_of(english_words(rng));
    std::vector<std::string> texts;
    std::uint64_t counts[256] = {};
    for (std::uint64_t total = 0; total < text_bytes;) {
        const std::string& text = texts.emplace_back(sentence(vocabulary, U' ', U',', U".!?"[rng() % 3], rng));
        for (char c : text)
            ++counts[static_cast<std::uint8_t>(c)];
        ++counts[end_mark];
        total += text.size();
    }
    std::vector<node_record> records;
    code_table table;
    status s = build_code_tree(counts, records);
    if (failed(s))
        return report(s, error);
    code_words(records, table);
    std::vector<bytes> runs(texts.size());
    for (std::size_t k = 0; k < texts.size(); ++k) {
        s = huffman_encode(table, std::span(reinterpret_cast<const std::uint8_t*>(texts[k].data()), texts[k].size()),
                           runs[k]);
        if (failed(s))
            return report(s, error);
    }
    out.clear();
    write_node_table(records, out);
    s = write_directory(directory_layout::packed, plan_of(std::move(runs), 100), out);
    return failed(s) ? report(s, error) : true;
}

bool make_xor_pack(std::uint64_t text_bytes, std::uint64_t seed, bytes& out, std::string& error)
{
    std::mt19937_64 rng(seed);
    zipf_words vocabulary = zipf_of(japanese_words(false, rng));
    std::vector<bytes> runs;
    for (std::uint64_t total = 0; total < text_bytes;) {
        const std::string text = sentence(vocabulary, 0, U'、', U"。！？"[rng() % 3], rng);
        bytes stored;
        std::size_t at = 0;
        if (pack_bytes_of(text, stored, at) != text_fault::none)
            return error = "no Shift-JIS code for a generated text", false;
        xor_encode(stored, runs.emplace_back());
        total += stored.size();
    }
    out.clear();
    write_node_table({}, out);
    const status s = write_directory(directory_layout::packed, plan_of(std::move(runs), 100), out);
    return failed(s) ? report(s, error) : true;
}

bool make_archive(std::uint64_t text_bytes, std::uint64_t seed, bytes& out, std::string& error)
{
    std::mt19937_64 rng(seed);
    zipf_words vocabulary = zipf_of(japanese_words(true, rng));
    std::vector<bytes> sections(44);
    for (std::size_t n = 0; n < sections.size(); ++n)
        sections[n] = {'S', 'E', 'C', static_cast<std::uint8_t>(n)};
    for (const std::size_t n : {8u, 43u}) {
        std::vector<bytes> runs;
        for (std::uint64_t total = 0; total < text_bytes;) {
            const std::string text = sentence(vocabulary, 0, U'、', U"。「」"[rng() % 2], rng);
            bytes& stored = runs.emplace_back();
            std::size_t at = 0;
            if (game_bytes_of(text, stored, at) != text_fault::none)
                return error = "no game code for a generated text", false;
            stored.push_back(game_end_byte);
            total += stored.size();
        }
        sections[n].clear();
        const status s = write_directory(n == 8 ? directory_layout::with_ids : directory_layout::nested,
                                         plan_of(std::move(runs), 1000), sections[n]);
        if (failed(s))
            return report(s, error);
    }
    out.clear();
    const status s = write_archive(sections, 1, {}, out);
    return failed(s) ? report(s, error) : true;
}

namespace {

// The node table of a pack whose strings fail at once: the root has no left child,
// and each string is a 0 bit.
void failing_tree(bytes& out)
{
    const node_record records[] = {{end_mark, 1, no_link_byte, no_link_byte}, {0, no_link_byte, no_link_byte, 0}};
    write_node_table(records, out);
}

// An archive of sections 8 (holding `section`) and 43 (empty).
void archive_of(bytes section, bytes& out)
{
    std::vector<bytes> sections(44, bytes{0, 0, 0, 0});
    sections[8] = std::move(section);
    out.clear();
    write_archive(sections, 1, {}, out);
}

} // namespace

void make_shared_lists(bool archive, bytes& out)
{
    directory_plan plan;
    for (std::uint32_t i = 0; i < 0xFFFF; ++i)
        plan.entries.push_back({i, 0});
    plan.blocks.push_back({std::vector<string_ref>(0xFFFF, string_ref{0, 0})});
    // The archive's string runs to the end of its section; the pack's is a 0 bit.
    plan.runs.push_back({archive ? std::uint8_t{'A'} : std::uint8_t{0}});
    bytes section;
    if (!archive)
        failing_tree(section);
    write_directory(archive ? directory_layout::with_ids : directory_layout::packed, plan, section);
    if (archive)
        archive_of(std::move(section), out);
    else
        out = std::move(section);
}

void make_overlapping_lists(bool archive, bytes& out)
{
    // Block i's count is word i of one long run of words that all hold 0x1010, so its list
    // is the 4112 words after it, and its strings start 4112 bytes past the list's end,
    // still inside the run: at a 0 bit for the pack, at control bytes for the archive.
    constexpr std::uint32_t blocks = 0xFFFF, count = 0x1010;
    bytes b;
    if (!archive)
        failing_tree(b);
    const std::uint64_t start = b.size();
    const std::uint64_t entry_size = archive ? 8 : 6, entries = start + (archive ? 4 : 2);
    const std::uint64_t run = entries + entry_size * blocks;
    b.resize(run + 2 * (blocks + count) + count + 1, archive ? std::uint8_t{'A'} : std::uint8_t{0});
    if (archive)
        write_u32le(b.data() + start, blocks);
    else
        write_u16le(b.data() + start, blocks);
    for (std::uint32_t i = 0; i < blocks; ++i)
        write_u32le(b.data() + entries + entry_size * i + entry_size - 4, static_cast<std::uint32_t>(run + 2 * i));
    for (std::uint32_t k = 0; k < blocks + count; ++k)
        write_u16le(b.data() + run + 2 * k, count);
    if (archive)
        archive_of(std::move(b), out);
    else
        out = std::move(b);
}
