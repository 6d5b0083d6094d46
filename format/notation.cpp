#include "format/notation.h"

#include "io/output.h"

#include <algorithm>

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::size_t read_utf8(std::string_view text, std::size_t at, char32_t& c)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        c = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        c = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

void append_escape(std::string& out, std::span<const std::uint8_t> code)
{
    out += '{';
    for (std::size_t k = 0; k < code.size(); ++k) {
        if (k > 0)
            out += ' ';
        out += hex_digits[code[k] >> 4];
        out += hex_digits[code[k] & 0xF];
    }
    out += '}';
}

void append_character(std::string& out, char32_t c, std::span<const std::uint8_t> code)
{
    if (c == U'{')
        append_escape(out, code);
    else
        append_utf8(out, c);
}

text_fault read_text_unit(std::string_view text, std::size_t& at, text_unit& unit)
{
    unit.at = at;
    unit.bytes.clear();
    if (text[at] == '{') {
        // Hexadecimal bytes, single blanks allowed between them.
        std::size_t k = at + 1;
        for (;;) {
            if (k + 1 < text.size() && hex_value(text[k]) >= 0 && hex_value(text[k + 1]) >= 0) {
                unit.bytes.push_back(static_cast<std::uint8_t>(hex_value(text[k]) * 16 + hex_value(text[k + 1])));
                k += 2;
            } else {
                return text_fault::bad_escape;
            }
            if (k < text.size() && text[k] == ' ')
                ++k;
            else
                break;
        }
        if (k >= text.size() || text[k] != '}')
            return text_fault::bad_escape;
        unit.kind = text_unit_kind::escape;
        at = k + 1;
        return text_fault::none;
    }
    if (text[at] == '\n') {
        unit.kind = text_unit_kind::line_break;
        ++at;
        return text_fault::none;
    }
    const std::size_t length = read_utf8(text, at, unit.character);
    if (length == 0)
        return text_fault::bad_utf8;
    if (unit.character < 0x20 || unit.character == 0x7F)
        return text_fault::control;
    unit.kind = text_unit_kind::character;
    at += length;
    return text_fault::none;
}

void read_text_units(std::string_view text, std::vector<text_unit>& units, std::vector<text_problem>& problems)
{
    std::size_t at = 0;
    text_unit unit;
    units.reserve(units.size() + text.size()); // at most a unit a byte
    while (at < text.size()) {
        const text_fault fault = read_text_unit(text, at, unit);
        if (fault == text_fault::none) {
            units.push_back(unit);
            continue;
        }
        problems.push_back({fault, at, {}});
        // Past the faulty unit: a control character whole, otherwise to the next byte
        // that can start a unit.
        if (fault == text_fault::control)
            at += std::max<std::size_t>(read_utf8(text, at, unit.character), 1);
        else
            do
                ++at;
            while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    }
}

void join_text_units(std::span<const text_unit> units, std::span<const std::uint8_t> line_break,
                     std::vector<text_problem>& problems, coded_text& coded)
{
    coded.unit_at.reserve(coded.unit_at.size() + units.size());
    coded.unit_byte.reserve(coded.unit_byte.size() + units.size());
    for (const text_unit& unit : units) {
        const std::span<const std::uint8_t> add = unit.kind == text_unit_kind::line_break ? line_break
                                                                                           : std::span(unit.bytes);
        if (add.empty()) {
            problems.push_back({text_fault::no_code, unit.at, {}});
            continue;
        }
        coded.unit_at.push_back(unit.at);
        coded.unit_byte.push_back(coded.bytes.size());
        coded.bytes.insert(coded.bytes.end(), add.begin(), add.end());
    }
    std::stable_sort(problems.begin(), problems.end(),
                     [](const text_problem& a, const text_problem& b) { return a.at < b.at; });
    coded.problems.insert(coded.problems.end(), problems.begin(), problems.end());
}

text_fault first_fault(coded_text&& coded, std::size_t text_size, std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    bytes = std::move(coded.bytes);
    at = coded.problems.empty() ? text_size : coded.problems[0].at;
    return coded.problems.empty() ? text_fault::none : coded.problems[0].fault;
}

std::size_t unit_of_byte(const coded_text& coded, std::size_t k)
{
    const auto after = std::upper_bound(coded.unit_byte.begin(), coded.unit_byte.end(), k);
    return after == coded.unit_byte.begin() ? 0 : coded.unit_at[static_cast<std::size_t>(after - coded.unit_byte.begin()) - 1];
}

void compare_read_back(std::string_view text, std::string_view back, bool spelled_break, coded_text& coded)
{
    if (back == text)
        return;
    std::size_t at = 0;
    while (at < text.size() && at < back.size() && text[at] == back[at])
        ++at;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    if (spelled_break && at < back.size() && back[at] == '\n' && text[at] == '\\')
        coded.problems.push_back({text_fault::spelled_break, at, {}});
    else
        coded.problems.push_back({text_fault::reads_back, at, std::string(back)});
}

std::string text_problem_text(const text_problem& problem, std::string_view text)
{
    switch (problem.fault) {
    case text_fault::none:
        break;
    case text_fault::bad_utf8:
        return "not UTF-8";
    case text_fault::bad_escape:
        return "a broken escape: raw bytes are written {XX} or {XX XX} in hexadecimal, and a brace itself as {7B}";
    case text_fault::control: {
        const auto c = static_cast<unsigned char>(text[problem.at]);
        return std::string("a control character: write its byte as an escape, {") + hex_digits[c >> 4] +
               hex_digits[c & 0xF] + "}";
    }
    case text_fault::no_code: {
        char32_t c = 0;
        return "\"" + std::string(text.substr(problem.at, read_utf8(text, problem.at, c))) +
               "\" has no code in this file's encoding";
    }
    case text_fault::end_byte:
        return "the byte 1F ends a string: it cannot be part of a text";
    case text_fault::lead_before_end:
        return "a lead byte at the end of a text takes the end byte as its second byte";
    case text_fault::mark_in_text:
        return "the byte 7C ends every string of this file: it cannot be part of a text";
    case text_fault::bad_trail:
        return "a lead byte without a valid trail byte is not Shift-JIS";
    case text_fault::lead_before_mark:
        return "a lead byte at the end of a text takes the end mark as its trail byte";
    case text_fault::lone_end_mark:
        return "the byte 7C ('|') alone ends a string in this form: it cannot be part of a text";
    case text_fault::spelled_break:
        return "a backslash followed by n is the game's line break: write a line break there "
               "(the two characters themselves cannot be stored)";
    case text_fault::reads_back: {
        // A long text is shown from a little before where it goes wrong, 60 characters.
        std::string_view back = problem.read_back;
        const bool long_text = character_column(back, back.size()) > 61;
        std::size_t from = std::min(problem.at, back.size());
        for (int n = 0; long_text && n < 20 && from > 0; ++n)
            while (from > 0 && (static_cast<unsigned char>(back[--from]) & 0xC0) == 0x80) {
            }
        if (!long_text)
            from = 0;
        std::size_t to = from;
        for (int n = 0; n < 60 && to < back.size(); ++n)
            while (++to < back.size() && (static_cast<unsigned char>(back[to]) & 0xC0) == 0x80) {
            }
        std::string quoted = from > 0 ? "..." : "";
        append_quoted(quoted, back.substr(from, long_text ? to - from : back.size()));
        if (long_text && to < back.size())
            quoted += "...";
        return "the game reads these bytes back as " + quoted + "; write that instead";
    }
    }
    return {};
}

std::size_t character_column(std::string_view text, std::size_t at)
{
    std::size_t column = 1;
    for (std::size_t k = 0; k < at && k < text.size(); ++k)
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80)
            ++column;
    return column;
}

void append_quoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            out += '\\';
            out += static_cast<char>('0' + (u >> 6));
            out += static_cast<char>('0' + ((u >> 3) & 7));
            out += static_cast<char>('0' + (u & 7));
        } else {
            out += c;
        }
    }
    out += '"';
}

bool read_quoted(std::string_view line, std::size_t& at, std::string& text)
{
    text.clear();
    if (at >= line.size() || line[at] != '"')
        return false;
    ++at;
    while (at < line.size() && line[at] != '"') {
        const char c = line[at];
        if (c != '\\') {
            text += c;
            ++at;
            continue;
        }
        if (at + 1 >= line.size())
            return false;
        const std::size_t escape = at; // where a bad escape is reported
        const char e = line[at + 1];
        at += 2;
        switch (e) {
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'r': text += '\r'; break;
        case 'a': text += '\a'; break;
        case 'b': text += '\b'; break;
        case 'f': text += '\f'; break;
        case 'v': text += '\v'; break;
        case '"': case '\\': case '\'': case '?': text += e; break;
        case 'x': {
            int value = 0;
            std::size_t digits = 0;
            while (digits < 2 && at < line.size() && hex_value(line[at]) >= 0) {
                value = value * 16 + hex_value(line[at++]);
                ++digits;
            }
            if (digits == 0) {
                at = escape;
                return false;
            }
            text += static_cast<char>(value);
            break;
        }
        default:
            if (e < '0' || e > '7') {
                at = escape;
                return false;
            }
            int value = e - '0';
            for (int digits = 1; digits < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7'; ++digits)
                value = value * 8 + (line[at++] - '0');
            if (value > 0xFF) {
                at = escape;
                return false;
            }
            text += static_cast<char>(value);
        }
    }
    if (at >= line.size())
        return false;
    ++at;
    return true;
}
