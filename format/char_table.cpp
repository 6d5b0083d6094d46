#include "format/char_table.h"

#include <algorithm>
#include <limits>

namespace {

bool read_hex_code(std::string_view hex, std::vector<std::uint8_t>& code)
{
    if (hex.empty() || hex.size() % 2 != 0)
        return false;
    for (std::size_t k = 0; k < hex.size(); k += 2) {
        const int high = hex_value(hex[k]), low = hex_value(hex[k + 1]);
        if (high < 0 || low < 0)
            return false;
        code.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

// none, table_not_utf8 or table_bad_text (a brace or a control character).
failure check_characters(std::string_view line, bool text)
{
    for (std::size_t at = 0; at < line.size();) {
        char32_t c = 0;
        const std::size_t length = read_utf8(line, at, c);
        if (length == 0)
            return failure::table_not_utf8;
        if (text && (c == U'{' || c == U'}' || c < 0x20 || c == 0x7F))
            return failure::table_bad_text;
        at += length;
    }
    return failure::none;
}

std::size_t utf8_size(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

std::string code_key(std::span<const std::uint8_t> code) { return std::string(code.begin(), code.end()); }

// The choice at a unit: the unit after the units it covers (the unit itself: no choice)
// and the entry whose code it takes (none: the unit's own code).
struct table_choice {
    std::size_t end;
    std::uint32_t entry;
};
constexpr std::size_t no_cost = std::numeric_limits<std::size_t>::max();

// Chooses at units[i], the units up to `stop` (the text up to `stop_at`) being chosen:
// the fewest bytes to the stop, ties to the longer text. When every choice leads to a
// character without a code, the longest is taken at no cost, so that the walk meets that
// character.
void choose_at(const char_table& table, std::string_view text, std::span<const text_unit> units, std::size_t i,
               std::size_t stop, std::size_t stop_at, std::vector<std::size_t>& cost, std::vector<table_choice>& choice)
{
    table_choice best{i, no_table_entry}, longest{i, no_table_entry};
    std::size_t best_cost = no_cost;
    const auto consider = [&](std::size_t end, std::uint32_t entry, std::size_t length) {
        if (end > longest.end)
            longest = {end, entry};
        if (cost[end] == no_cost)
            return;
        const std::size_t c = length + cost[end];
        if (c < best_cost || (c == best_cost && end > best.end)) {
            best_cost = c;
            best = {end, entry};
        }
    };
    bool own_replaced = false;
    std::size_t node = 0, k = i, char_end = units[i].at + utf8_size(units[i].character);
    for (std::size_t p = units[i].at; p < stop_at && p - units[i].at < table.longest;) {
        const auto edge = table.text_edges.find(static_cast<std::uint64_t>(node) << 8 | static_cast<unsigned char>(text[p]));
        if (edge == table.text_edges.end())
            break;
        node = edge->second;
        if (++p != char_end)
            continue;
        if (const std::uint32_t entry = table.node_entry[node]; entry != no_table_entry) {
            own_replaced = own_replaced || k == i;
            consider(k + 1, entry, table.entries[entry].code.size());
        }
        if (++k < stop)
            char_end = units[k].at + utf8_size(units[k].character);
    }
    if (!own_replaced && !units[i].bytes.empty())
        consider(i + 1, no_table_entry, units[i].bytes.size());
    choice[i] = best_cost != no_cost ? best : longest;
    cost[i] = best_cost;
}

std::span<const std::uint8_t> chosen_code(const char_table& table, const text_unit& unit, const table_choice& choice)
{
    return choice.entry == no_table_entry ? std::span<const std::uint8_t>(unit.bytes)
                                          : std::span<const std::uint8_t>(table.entries[choice.entry].code);
}

bool has_texts(const char_table& table) { return !table.by_code.empty(); }

} // namespace

status parse_char_table(std::string_view bytes, char_table& table)
{
    table.entries.clear();
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::unordered_map<std::string, std::size_t> first_line; // code: line
    std::size_t number = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
        std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos || line[0] == '#')
            continue;
        status s{};
        s.line = number;
        char_table_entry entry;
        entry.line = number;
        entry.kind = line[0] == '*' ? table_line_kind::line_break : line[0] == '/' ? table_line_kind::end : table_line_kind::text;
        const std::size_t equals = line.find('=');
        const bool text = entry.kind == table_line_kind::text;
        if ((s.code = check_characters(line, false)) != failure::none)
            return s;
        const std::size_t hex_at = text ? 0 : 1; // after the * or /
        if ((text && equals == std::string_view::npos) || !read_hex_code(line.substr(hex_at, equals - hex_at), entry.code))
            return s.code = failure::table_bad_line, s;
        if (text) {
            entry.text = line.substr(equals + 1);
            if (entry.text.empty())
                return s.code = failure::table_empty_text, s;
            if ((s.code = check_characters(entry.text, true)) != failure::none)
                return s;
            if (const auto [first, fresh] = first_line.emplace(code_key(entry.code), number); !fresh) {
                s = table_fault(failure::table_code_twice, entry);
                s.first_line = first->second;
                return s;
            }
        }
        table.entries.push_back(std::move(entry));
    }
    return {};
}

status table_fault(failure code, const char_table_entry& entry)
{
    status s = fail(code);
    s.line = entry.line;
    s.count = entry.code.size();
    for (std::size_t k = 0; k < entry.code.size() && k < 8; ++k)
        s.value = s.value << 8 | entry.code[k];
    return s;
}

status finish_char_table(const status& grammar, const status& form, char_table& table)
{
    if (failed(form) && (!failed(grammar) || form.line < grammar.line))
        return form;
    if (failed(grammar))
        return grammar;
    table.by_code.clear();
    table.text_edges.clear();
    table.node_entry.assign(1, no_table_entry);
    table.longest = 0;
    for (std::uint32_t e = 0; e < table.entries.size(); ++e) {
        const char_table_entry& entry = table.entries[e];
        if (entry.kind != table_line_kind::text)
            continue;
        table.by_code.emplace(code_key(entry.code), e);
        std::size_t node = 0;
        for (const char c : entry.text) {
            const auto [edge, fresh] = table.text_edges.emplace(
                static_cast<std::uint64_t>(node) << 8 | static_cast<unsigned char>(c), static_cast<std::uint32_t>(table.node_entry.size()));
            if (fresh)
                table.node_entry.push_back(no_table_entry);
            node = edge->second;
        }
        // Of the codes of one text, the shortest is stored, the first of equal ones.
        std::uint32_t& stored = table.node_entry[node];
        if (stored == no_table_entry || entry.code.size() < table.entries[stored].code.size())
            stored = e;
        table.longest = std::max(table.longest, entry.text.size());
    }
    return {};
}

void write_table_line(text_output& out, std::span<const std::uint8_t> code, char32_t c)
{
    std::string line;
    for (const std::uint8_t b : code)
        append_hex(line, b, 2);
    line += '=';
    append_utf8(line, c);
    line += '\n';
    out_text(out, line);
}

void write_table_ends(text_output& out, std::span<const std::uint8_t> line_break, std::uint8_t end)
{
    std::string lines = "*";
    for (const std::uint8_t b : line_break)
        append_hex(lines, b, 2);
    lines += "\n/";
    append_hex(lines, end, 2);
    lines += '\n';
    out_text(out, lines);
}

void apply_char_table(const char_table& table, std::string_view text, std::vector<text_unit>& units)
{
    if (!has_texts(table))
        return;
    std::vector<text_unit> chosen;
    std::vector<std::size_t> cost;
    std::vector<table_choice> choice;
    for (std::size_t first = 0; first < units.size();) {
        if (units[first].kind != text_unit_kind::character) {
            chosen.push_back(std::move(units[first++]));
            continue;
        }
        // A run of characters, one right after the other in the text.
        std::size_t end = first + 1;
        while (end < units.size() && units[end].kind == text_unit_kind::character &&
               units[end].at == units[end - 1].at + utf8_size(units[end - 1].character))
            ++end;
        const std::span<const text_unit> run = std::span(units).subspan(first, end - first);
        const std::size_t stop_at = run.back().at + utf8_size(run.back().character);
        cost.assign(run.size() + 1, no_cost);
        choice.assign(run.size() + 1, {0, no_table_entry});
        cost[run.size()] = 0;
        for (std::size_t i = run.size(); i-- > 0;)
            choose_at(table, text, run, i, run.size(), stop_at, cost, choice);
        for (std::size_t i = 0; i < run.size();) {
            text_unit unit = run[i];
            if (choice[i].end == i) { // no code: join_text_units reports it
                unit.bytes.clear();
                ++i;
            } else {
                const std::span<const std::uint8_t> code = chosen_code(table, run[i], choice[i]);
                unit.bytes.assign(code.begin(), code.end());
                i = choice[i].end;
            }
            chosen.push_back(std::move(unit));
        }
        first = end;
    }
    units = std::move(chosen);
}

void add_table_code(const char_table& table, std::span<const std::uint8_t> bytes, std::size_t at, std::size_t length,
                    bool line_break, char32_t own, table_decoding& decoding)
{
    table_code code{table_code_kind::escape, at, length, decoding.text.size(), 0};
    const auto entry = table.by_code.find(code_key(bytes.subspan(at, length)));
    if (line_break) {
        code.kind = table_code_kind::line_break;
    } else if (entry != table.by_code.end()) {
        code.kind = table_code_kind::text;
        decoding.text += table.entries[entry->second].text;
    } else if (own != 0 && own != U'{') {
        code.kind = table_code_kind::text;
        append_utf8(decoding.text, own);
    }
    code.text_end = decoding.text.size();
    decoding.codes.push_back(code);
}

void table_decoded_text(const char_table& table, std::span<const std::uint8_t> bytes, table_decoding& decoding,
                        std::string& text)
{
    const std::vector<text_unit>& units = decoding.units;
    const std::size_t n = units.size();
    // Each code's units, [first_unit[k], first_unit[k + 1]).
    std::vector<std::size_t> first_unit(decoding.codes.size() + 1, n);
    for (std::size_t k = 0, u = 0; k < decoding.codes.size(); ++k) {
        first_unit[k] = u;
        while (u < n && units[u].at < decoding.codes[k].text_end)
            ++u;
    }
    // From the last code back: a code is shown as its text when the encoding of the text
    // from there to the next escape or line break takes it first; otherwise it becomes
    // an escape, which ends the text before it.
    std::vector<std::size_t> cost(n + 1, no_cost);
    std::vector<table_choice> choice(n + 1, {0, no_table_entry});
    std::vector<bool> shown(decoding.codes.size(), false);
    std::size_t stop = n;
    cost[n] = 0;
    for (std::size_t k = decoding.codes.size(); k-- > 0;) {
        const table_code& code = decoding.codes[k];
        const std::size_t a = first_unit[k], b = first_unit[k + 1];
        if (code.kind == table_code_kind::text) {
            const std::size_t stop_at = stop < n ? units[stop].at : decoding.text.size();
            for (std::size_t i = b; i-- > a;)
                choose_at(table, decoding.text, units, i, stop, stop_at, cost, choice);
            const std::span<const std::uint8_t> chosen = chosen_code(table, units[a], choice[a]);
            shown[k] = cost[a] != no_cost && choice[a].end == b &&
                       std::ranges::equal(chosen, bytes.subspan(code.byte_at, code.length));
        }
        if (!shown[k]) {
            stop = a;
            cost[a] = 0;
        }
    }
    text.clear();
    for (std::size_t k = 0; k < decoding.codes.size(); ++k) {
        const table_code& code = decoding.codes[k];
        if (code.kind == table_code_kind::line_break)
            text += '\n';
        else if (shown[k])
            text.append(decoding.text, code.text_at, code.text_end - code.text_at);
        else
            append_escape(text, bytes.subspan(code.byte_at, code.length));
    }
}
