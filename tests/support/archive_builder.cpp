#include "tests/support/archive_builder.h"

#include <map>
#include <stdexcept>

#include "archive_strings/char_map.h"

void put_u16(byte_string& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_u32(byte_string& out, std::uint32_t value)
{
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

static void set_u32(byte_string& out, std::size_t at, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        out[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (8 * k));
}

// Character (as UTF-8) to its one- or two-byte code.
static const std::map<std::string, byte_string>& code_of_character()
{
    static const std::map<std::string, byte_string> codes = [] {
        std::map<std::string, byte_string> m;
        for (std::size_t e = 0; e < char_map_size; ++e) {
            if (char_map[e] == char_map_mark)
                continue;
            byte_string code = e < 128 ? byte_string{static_cast<std::uint8_t>(0x80 + e)}
                                       : byte_string{static_cast<std::uint8_t>(1 + (e - 128) / 256),
                                                     static_cast<std::uint8_t>((e - 128) % 256)};
            m.emplace(std::string(char_map[e]), code); // the first code of a character wins
        }
        m["ー"] = {0xB0}; // the katakana one
        return m;
    }();
    return codes;
}

static std::size_t utf8_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    return 2;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

byte_string encode_game_text(std::string_view text)
{
    byte_string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '{') {
            std::size_t close = text.find('}', i);
            if (close == std::string_view::npos)
                throw std::invalid_argument("unclosed {: " + std::string(text));
            int high = -1;
            for (std::size_t k = i + 1; k < close; ++k) {
                if (text[k] == ' ')
                    continue;
                int d = hex_digit(text[k]);
                if (d < 0)
                    throw std::invalid_argument("bad hex escape: " + std::string(text));
                if (high < 0) {
                    high = d;
                } else {
                    out.push_back(static_cast<std::uint8_t>(high * 16 + d));
                    high = -1;
                }
            }
            if (high >= 0)
                throw std::invalid_argument("odd hex digits: " + std::string(text));
            i = close + 1;
            continue;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u <= 0x7E) {
            out.push_back(u);
            ++i;
            continue;
        }
        const std::size_t n = utf8_length(u);
        const std::string ch(text.substr(i, n));
        const auto found = code_of_character().find(ch);
        if (found == code_of_character().end())
            throw std::invalid_argument("no code for '" + ch + "' in: " + std::string(text));
        out.insert(out.end(), found->second.begin(), found->second.end());
        i += n;
    }
    return out;
}

byte_string game_string(std::string_view text)
{
    byte_string s = encode_game_text(text);
    s.push_back(0x1F);
    return s;
}

// Appends a block's string offset list and strings; offsets count from `base`.
static void put_string_list(byte_string& out, const archive_block& block, std::size_t base)
{
    std::size_t at = out.size() + 2 * block.strings.size();
    for (const byte_string& s : block.strings) {
        put_u16(out, static_cast<std::uint32_t>(at - base));
        at += s.size();
    }
    for (const byte_string& s : block.strings)
        out.insert(out.end(), s.begin(), s.end());
}

byte_string build_section_with_ids(const std::vector<archive_block>& blocks)
{
    byte_string out;
    put_u32(out, static_cast<std::uint32_t>(blocks.size()));
    for (const archive_block& block : blocks) {
        put_u32(out, block.id);
        put_u32(out, 0); // offset, set below
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        set_u32(out, 8 + 8 * i, static_cast<std::uint32_t>(out.size()));
        put_u16(out, static_cast<std::uint32_t>(blocks[i].strings.size()));
        put_string_list(out, blocks[i], out.size() + 2 * blocks[i].strings.size());
    }
    return out;
}

byte_string build_section_nested(const std::vector<archive_block>& blocks)
{
    byte_string out;
    put_u32(out, static_cast<std::uint32_t>(blocks.size()));
    for (std::size_t i = 0; i < blocks.size(); ++i)
        put_u32(out, 0);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        set_u32(out, 4 + 4 * i, static_cast<std::uint32_t>(out.size()));
        put_u32(out, 4); // the count follows the inner offset directly
        const std::size_t count_at = out.size();
        put_u16(out, static_cast<std::uint32_t>(blocks[i].strings.size()));
        put_string_list(out, blocks[i], count_at);
    }
    return out;
}

byte_string build_archive(const std::vector<byte_string>& sections)
{
    byte_string out;
    std::size_t at = 4 * (sections.size() + 1);
    for (const byte_string& s : sections) {
        put_u32(out, static_cast<std::uint32_t>(at));
        at += s.size();
    }
    put_u32(out, static_cast<std::uint32_t>(at));
    for (const byte_string& s : sections)
        out.insert(out.end(), s.begin(), s.end());
    return out;
}

byte_string build_archive_from_text(std::string_view source)
{
    std::map<int, std::vector<archive_block>> sections;
    int section = -1;
    int line_number = 0;
    while (!source.empty()) {
        std::size_t nl = source.find('\n');
        std::string_view line = source.substr(0, nl);
        source.remove_prefix(nl == std::string_view::npos ? source.size() : nl + 1);
        ++line_number;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (line.empty() || line[0] == '#')
            continue;
        if (line.starts_with("[section ")) {
            section = std::stoi(std::string(line.substr(9)));
            if (section != 8 && section != 43)
                throw std::invalid_argument(where + "only sections 8 and 43 hold strings");
            sections[section];
            continue;
        }
        if (section < 0)
            throw std::invalid_argument(where + "text before the first [section]");
        if (line.starts_with("[block")) {
            archive_block block;
            if (line.size() > 7)
                block.id = static_cast<std::uint32_t>(std::stoul(std::string(line.substr(7))));
            sections[section].push_back(block);
            continue;
        }
        if (sections[section].empty())
            throw std::invalid_argument(where + "text before the first [block]");
        sections[section].back().strings.push_back(game_string(line));
    }
    std::vector<byte_string> all(44);
    for (int n = 0; n < 44; ++n) {
        if (n == 8)
            all[8] = build_section_with_ids(sections[8]);
        else if (n == 43)
            all[43] = build_section_nested(sections[43]);
        else
            all[static_cast<std::size_t>(n)] = {'S', 'E', 'C', static_cast<std::uint8_t>(n)};
    }
    return build_archive(all);
}
