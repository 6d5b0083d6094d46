#include "tests/support/pack_builder.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::uint8_t end_mark = 0x7C;

void put_u16(pack_bytes& out, std::size_t value)
{
    if (value > 0xFFFF)
        throw std::invalid_argument("value does not fit 16 bits");
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_u32(pack_bytes& out, std::size_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

} // namespace

pack_bytes build_pack(const std::vector<pack_record>& records, const std::vector<pack_block>& blocks)
{
    pack_bytes out;
    put_u16(out, records.size());
    for (const pack_record& r : records)
        out.insert(out.end(), {r.symbol, r.parent, r.left, r.right});
    put_u16(out, blocks.size());
    // Block i starts behind the directory and everything of the blocks before it.
    std::size_t offset = out.size() + 6 * blocks.size();
    for (const pack_block& block : blocks) {
        put_u16(out, block.id);
        put_u32(out, offset);
        offset += 2 + 2 * block.strings.size();
        for (const pack_bytes& s : block.strings)
            offset += s.size();
    }
    for (const pack_block& block : blocks) {
        put_u16(out, block.strings.size());
        std::size_t string_offset = 0;
        for (const pack_bytes& s : block.strings) {
            put_u16(out, string_offset);
            string_offset += s.size();
        }
        for (const pack_bytes& s : block.strings)
            out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

std::vector<pack_record> huffman_records(const std::map<std::uint8_t, std::uint64_t>& weights)
{
    if (weights.empty() || weights.size() > 128)
        throw std::invalid_argument("a code tree needs 1 to 128 symbols");
    std::vector<pack_record> records;
    std::vector<std::pair<std::uint64_t, std::uint8_t>> open; // weight, record index
    for (const auto& [symbol, weight] : weights) {
        if (weight == 0)
            throw std::invalid_argument("symbol weights must be above 0");
        open.emplace_back(weight, static_cast<std::uint8_t>(records.size()));
        records.push_back(pack_record{symbol, pack_no_link, pack_no_link, pack_no_link});
    }
    while (open.size() > 1) {
        std::pair<std::uint64_t, std::uint8_t> two[2];
        for (auto& taken : two) {
            auto lightest = open.begin();
            for (auto it = open.begin(); it != open.end(); ++it)
                if (*it < *lightest)
                    lightest = it;
            taken = *lightest;
            open.erase(lightest);
        }
        const auto index = static_cast<std::uint8_t>(records.size());
        records.push_back(pack_record{0, pack_no_link, two[0].second, two[1].second});
        records[two[0].second].parent = index;
        records[two[1].second].parent = index;
        open.emplace_back(two[0].first + two[1].first, index);
    }
    return records;
}

std::vector<pack_record> huffman_records_for(const std::vector<std::string>& texts)
{
    std::map<std::uint8_t, std::uint64_t> weights;
    for (const std::string& text : texts) {
        for (char c : text)
            ++weights[static_cast<std::uint8_t>(c)];
        ++weights[end_mark];
    }
    if (weights.empty())
        ++weights[end_mark];
    return huffman_records(weights);
}

std::map<std::uint8_t, std::string> code_words(const std::vector<pack_record>& records)
{
    std::map<std::uint8_t, std::string> words;
    if (records.empty())
        return words;
    // Depth-first from the root; a path longer than the table has looped.
    std::vector<std::pair<std::size_t, std::string>> pending{{records.size() - 1, ""}};
    while (!pending.empty()) {
        auto [index, path] = pending.back();
        pending.pop_back();
        const pack_record& r = records[index];
        if (r.left == pack_no_link && r.right == pack_no_link) {
            words.emplace(r.symbol, path);
            continue;
        }
        if (path.size() >= records.size())
            throw std::invalid_argument("code tree has a loop");
        if (r.right != pack_no_link && r.right < records.size())
            pending.emplace_back(r.right, path + '1');
        if (r.left != pack_no_link && r.left < records.size())
            pending.emplace_back(r.left, path + '0');
    }
    return words;
}

// '0'/'1' characters packed from the top bit of the first byte on, zero-padded.
static pack_bytes pack_bits(std::string_view bits)
{
    pack_bytes out((bits.size() + 7) / 8, 0);
    for (std::size_t k = 0; k < bits.size(); ++k)
        if (bits[k] == '1')
            out[k / 8] = static_cast<std::uint8_t>(out[k / 8] | (0x80 >> (k % 8)));
    return out;
}

pack_bytes huffman_encode(const std::vector<pack_record>& records, std::string_view text)
{
    const std::map<std::uint8_t, std::string> words = code_words(records);
    std::string bits;
    auto append = [&](std::uint8_t symbol) {
        auto found = words.find(symbol);
        if (found == words.end())
            throw std::invalid_argument("symbol without a code word");
        bits += found->second;
    };
    for (char c : text)
        append(static_cast<std::uint8_t>(c));
    append(end_mark);
    pack_bytes out = pack_bits(bits);
    if (bits.size() % 8 == 0)
        out.push_back(0);
    return out;
}

pack_bytes xor_encode(std::string_view text)
{
    pack_bytes out;
    std::uint8_t previous = 0;
    auto append = [&](std::uint8_t byte) {
        out.push_back(static_cast<std::uint8_t>(byte ^ previous));
        previous = byte;
    };
    for (char c : text)
        append(static_cast<std::uint8_t>(c));
    append(end_mark);
    return out;
}

namespace {

// The few characters of the XOR-chained example that are neither ASCII nor kana.
struct sjis_char {
    char32_t code_point;
    std::uint16_t sjis;
};
constexpr sjis_char sjis_table[] = {
    {U'\u3000', 0x8140}, {U'、', 0x8141}, {U'。', 0x8142}, {U'・', 0x8145}, {U'：', 0x8146}, {U'？', 0x8148},
    {U'！', 0x8149},     {U'ー', 0x815B}, {U'…', 0x8163}, {U'「', 0x8175}, {U'」', 0x8176},
    {U'円', 0x897E},     {U'王', 0x89A4}, {U'屋', 0x89AE}, {U'火', 0x89CE}, {U'剣', 0x8C95},
    {U'鍵', 0x8CAE},     {U'宿', 0x8F68}, {U'城', 0x8FE9}, {U'森', 0x9058}, {U'村', 0x91BA},
    {U'扉', 0x94E0},     {U'宝', 0x95F3}, {U'箱', 0x94A0}, {U'法', 0x9640}, {U'魔', 0x9682},
    {U'夜', 0x96E9},     {U'薬', 0x96F2}, {U'勇', 0x9745}, {U'者', 0x8ED2}, {U'旅', 0x97B7},
    {U'人', 0x906C},     {U'北', 0x966B},     {U'来', 0x9788}, {U'行', 0x8D73},
};

void append_sjis(std::string& out, std::uint16_t code)
{
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
}

// Shift-JIS of a non-ASCII character; hiragana and katakana run in order, the
// katakana skipping the trail byte 0x7F.
void append_as_sjis(std::string& out, char32_t cp)
{
    if (cp >= U'ぁ' && cp <= U'ん')
        return append_sjis(out, static_cast<std::uint16_t>(0x829F + (cp - U'ぁ')));
    if (cp >= U'ァ' && cp <= U'ミ')
        return append_sjis(out, static_cast<std::uint16_t>(0x8340 + (cp - U'ァ')));
    if (cp >= U'ム' && cp <= U'ヶ')
        return append_sjis(out, static_cast<std::uint16_t>(0x8380 + (cp - U'ム')));
    for (const sjis_char& c : sjis_table)
        if (c.code_point == cp)
            return append_sjis(out, c.sjis);
    throw std::invalid_argument("character without a Shift-JIS code in the example table");
}

// One UTF-8 sequence starting at text[k]; advances k past it.
char32_t next_code_point(std::string_view text, std::size_t& k)
{
    const auto lead = static_cast<std::uint8_t>(text[k]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (lead >= 0x80 && (lead < 0xC0 || k + length > text.size()))
        throw std::invalid_argument("malformed UTF-8 in example source");
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t n = 1; n < length; ++n)
        cp = (cp << 6) | (static_cast<std::uint8_t>(text[k + n]) & 0x3Fu);
    k += length;
    return cp;
}

std::string decode_source_text(std::string_view text, bool shift_jis)
{
    std::string out;
    std::size_t k = 0;
    while (k < text.size()) {
        const char c = text[k];
        if (c == '|') {
            throw std::invalid_argument("'|' is the end mark and cannot be text");
        } else if (c == '\\') {
            if (k + 1 >= text.size() || (text[k + 1] != 'n' && text[k + 1] != '\\'))
                throw std::invalid_argument("unknown escape in example source");
            out += text[k + 1] == 'n' ? '\n' : '\\';
            k += 2;
        } else if (c == '{') {
            const std::size_t close = text.find('}', k);
            if (close == std::string_view::npos)
                throw std::invalid_argument("unclosed byte escape in example source");
            std::istringstream hex{std::string(text.substr(k + 1, close - k - 1))};
            unsigned byte = 0;
            while (hex >> std::hex >> byte) {
                if (byte > 0xFF)
                    throw std::invalid_argument("byte escape above FF");
                out += static_cast<char>(byte);
            }
            if (!hex.eof())
                throw std::invalid_argument("bad byte escape in example source");
            k = close + 1;
        } else if (shift_jis && static_cast<std::uint8_t>(c) >= 0x80) {
            append_as_sjis(out, next_code_point(text, k));
        } else {
            out += c;
            ++k;
        }
    }
    return out;
}

} // namespace

std::vector<pack_source_block> read_pack_source(std::string_view source, bool shift_jis)
{
    std::vector<pack_source_block> blocks;
    while (!source.empty()) {
        const std::size_t eol = source.find('\n');
        std::string_view line = source.substr(0, eol);
        source.remove_prefix(eol == std::string_view::npos ? source.size() : eol + 1);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.starts_with("[block ") && line.ends_with("]")) {
            const std::string number(line.substr(7, line.size() - 8));
            std::size_t used = 0;
            const unsigned long id = std::stoul(number, &used);
            if (used != number.size() || id > 0xFFFF)
                throw std::invalid_argument("bad block id in example source");
            blocks.push_back(pack_source_block{static_cast<std::uint16_t>(id), {}});
        } else if (line == "-" || line.starts_with("- ")) {
            if (blocks.empty())
                throw std::invalid_argument("string before the first block in example source");
            blocks.back().texts.push_back(decode_source_text(line.substr(line.size() > 1 ? 2 : 1), shift_jis));
        } else {
            throw std::invalid_argument("unreadable line in example source: " + std::string(line));
        }
    }
    return blocks;
}

pack_bytes build_example_pack(const std::vector<pack_source_block>& blocks, bool huffman)
{
    std::vector<std::string> texts;
    for (const pack_source_block& b : blocks)
        texts.insert(texts.end(), b.texts.begin(), b.texts.end());
    const std::vector<pack_record> records = huffman ? huffman_records_for(texts) : std::vector<pack_record>{};
    std::vector<pack_block> packed;
    for (const pack_source_block& b : blocks) {
        pack_block& block = packed.emplace_back(pack_block{b.id, {}});
        for (const std::string& text : b.texts)
            block.strings.push_back(huffman ? huffman_encode(records, text) : xor_encode(text));
    }
    return build_pack(records, packed);
}

namespace {

std::string read_text_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_binary_file(const std::string& path, const pack_bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

} // namespace

void write_pack_examples(const std::string& source_dir, const std::string& out_dir)
{
    const std::string strings = read_text_file(source_dir + "/strings_pak.txt");
    const std::string chained = read_text_file(source_dir + "/xor_pak.txt");
    write_binary_file(out_dir + "/STRINGS.PAK", build_example_pack(read_pack_source(strings, false), true));
    write_binary_file(out_dir + "/XOR.PAK", build_example_pack(read_pack_source(chained, true), false));
}
