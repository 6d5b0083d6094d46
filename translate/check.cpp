#include "translate/check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <numeric>
#include <set>

#include "format/notation.h"
#include "translate/command.h"
#include "translate/po.h"

namespace {

// What the check knows of the PO and the file while it reads the entries.
struct checker {
    const game_file& file;
    const char_table& codes;
    std::string_view po;
    const check_options& options;
    po_check& check;
    std::vector<std::vector<std::uint64_t>> first_string; // each table's blocks: the number of strings before
    std::vector<std::size_t> seen;                         // each string: the line of its entry, 0 for none
    std::uint64_t seen_count = 0;
    std::map<std::pair<std::size_t, std::uint32_t>, std::size_t> block_width; // (table, block): widest line
    std::string place; // the string of the entry being read, as msgctxt names it
    string_decoder decoder, block_decoder; // the entry's string, a block's strings
};

// A translation taken, with where its entry is and by how much its text grew.
struct taken_text {
    new_text text;
    std::size_t line = 0, column = 0;
    std::int64_t growth = 0;
};

void add(checker& c, po_place at, severity level, std::string message)
{
    c.check.problems.push_back({at.line, at.column, level, std::move(message)});
}

po_place entry_place(const po_entry& entry)
{
    return {entry.line, entry.column};
}

// The place of one byte of a msgstr (see msgstr_cursor for many).
po_place place_of_byte(std::string_view po, const po_entry& entry, std::size_t at)
{
    msgstr_cursor cursor = msgstr_start(po, entry);
    return msgstr_place(cursor, at);
}

// Where a context names a string: its table, block and position.
bool place_of(const game_file& file, const std::string& context, new_text& place)
{
    const std::vector<string_table>& tables = tables_of(file);
    for (place.table = 0; place.table < tables.size(); ++place.table) {
        const string_table& t = tables[place.table];
        const std::string prefix = t.section < 0 ? "" : std::to_string(t.section) + ":";
        if (!context.starts_with(prefix))
            continue;
        const std::string rest = context.substr(prefix.size());
        const std::size_t colon = rest.find(':');
        if (colon == std::string::npos || colon > 9 || rest.size() - colon > 10 ||
            rest.find_first_not_of("0123456789:") != std::string::npos)
            return false;
        const unsigned long b = std::stoul("0" + rest.substr(0, colon));
        const unsigned long j = std::stoul("0" + rest.substr(colon + 1));
        if (b >= t.directory.num_blocks || j >= t.directory.blocks[b].count)
            return false;
        place.block = static_cast<std::uint32_t>(b);
        place.index = static_cast<std::uint32_t>(j);
        return string_place(t.section, place.block, place.index) == context; // as export writes it, digit for digit
    }
    return false;
}

std::string upper(std::string_view text)
{
    std::string name(text);
    for (char& ch : name)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return name;
}

// The header: its charset must be UTF-8; a PO exported from another file gets a warning.
void check_header(checker& c, const po_entry& entry)
{
    const std::string_view type = po_header_field(entry.msgstr, "Content-Type");
    std::size_t at = upper(type).find("CHARSET=");
    if (at != std::string_view::npos) {
        const std::string_view rest = type.substr(at + 8);
        const std::string_view name = rest.substr(0, std::min(rest.find_first_of(" \t;"), rest.size()));
        if (upper(name) != "UTF-8" && upper(name) != "UTF8")
            add(c, entry_place(entry), severity::error,
                "the header declares charset=" + shown_text(name) + "; kx_text reads UTF-8");
    }
    const std::string_view table = po_header_field(entry.msgstr, "X-Kx-Table");
    const std::string used = c.codes.name.empty() ? "" : base_name(c.codes.name);
    if (!table.empty() && table != used)
        add(c, entry_place(entry), severity::warning,
            "the PO was exported with the character table " + shown_text(table) + "; give it with --table" +
                (used.empty() ? std::string() : ", not " + used));
    const std::string_view source = po_header_field(entry.msgstr, "X-Kx-Source");
    if (!source.empty() && source != base_name(c.file.path))
        add(c, entry_place(entry), severity::warning,
            "the PO was exported from " + shown_text(source) + ", not from " + base_name(c.file.path));
}

// The widths of the lines of a text as stored: the bytes of its characters' codes,
// escapes counting nothing.
std::vector<std::size_t> line_widths(std::string_view text, const coded_text& coded, std::vector<std::size_t>* starts = nullptr)
{
    std::vector<std::size_t> widths{0};
    if (starts != nullptr)
        starts->assign(1, 0);
    for (std::size_t k = 0; k < coded.unit_at.size(); ++k) {
        const std::size_t at = coded.unit_at[k];
        if (text[at] == '\n') {
            widths.push_back(0);
            if (starts != nullptr)
                starts->push_back(at + 1);
        } else if (text[at] != '{') {
            const std::size_t next = k + 1 < coded.unit_byte.size() ? coded.unit_byte[k + 1] : coded.bytes.size();
            widths.back() += next - coded.unit_byte[k];
        }
    }
    return widths;
}

// The widest line among the original strings of a block.
std::size_t widest_in_block(checker& c, std::size_t table, std::uint32_t block)
{
    const auto [it, fresh] = c.block_width.emplace(std::make_pair(table, block), 0);
    if (!fresh)
        return it->second;
    const string_table& t = tables_of(c.file)[table];
    std::string text;
    for (std::uint32_t j = 0; j < t.directory.blocks[block].count; ++j) {
        decode_string_text(c.file, c.codes, t, string_start(t.data, t.directory.blocks[block], j), c.block_decoder, text);
        coded_text coded;
        stored_bytes(c.file, c.codes, text, coded);
        for (std::size_t w : line_widths(text, coded))
            it->second = std::max(it->second, w);
    }
    return it->second;
}

bool is_blank_at(std::string_view text, std::size_t at, std::size_t& length)
{
    length = text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ? 1 : text.substr(at).starts_with("\u3000") ? 3 : 0;
    return length != 0;
}

std::string_view leading_blanks(std::string_view text)
{
    std::size_t at = 0, length = 0;
    while (at < text.size() && is_blank_at(text, at, length))
        at += length;
    return text.substr(0, at);
}

std::string_view trailing_blanks(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n' ||
                       (end >= 3 && text.substr(end - 3, 3) == "\u3000")))
        end -= text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n' ? 1 : 3;
    return text.substr(end);
}

// The escapes of a text in the notation, with where each starts.
std::vector<std::pair<std::string, std::size_t>> escapes_of(std::string_view text)
{
    std::vector<std::pair<std::string, std::size_t>> found;
    for (std::size_t at = text.find('{'); at != std::string_view::npos; at = text.find('{', at + 1)) {
        const std::size_t close = text.find('}', at);
        if (close == std::string_view::npos)
            break;
        found.emplace_back(std::string(text.substr(at, close + 1 - at)), at);
    }
    return found;
}

// Escapes of `msgid` missing from the msgstr or added to it, and blanks at either end
// that differ.
void check_like_msgid(checker& c, const po_entry& entry, std::string_view msgid, severity level)
{
    std::multiset<std::string> in_msgid;
    for (auto& [escape, at] : escapes_of(msgid))
        in_msgid.insert(escape);
    msgstr_cursor cursor = msgstr_start(c.po, entry);
    for (auto& [escape, at] : escapes_of(entry.msgstr)) {
        if (const auto it = in_msgid.find(escape); it != in_msgid.end())
            in_msgid.erase(it);
        else
            add(c, msgstr_place(cursor, at), level, c.place + ": the escape " + escape + " is not in the msgid");
    }
    for (const std::string& escape : in_msgid)
        add(c, entry_place(entry), level, c.place + ": the escape " + escape + " of the msgid is missing from the msgstr");
    if (leading_blanks(msgid) != leading_blanks(entry.msgstr))
        add(c, place_of_byte(c.po, entry, 0), level,
            c.place + ": the msgstr starts with other blanks or line breaks than the msgid");
    if (trailing_blanks(msgid) != trailing_blanks(entry.msgstr))
        add(c, place_of_byte(c.po, entry, entry.msgstr.size() - trailing_blanks(entry.msgstr).size()), level,
            c.place + ": the msgstr ends with other blanks or line breaks than the msgid");
}

// Breaks each line of `text` wider than `limit` at its last blank that fits; true if
// any line was broken.
bool wrap_text(std::string& text, const coded_text& coded, std::size_t limit)
{
    bool broken = false;
    std::size_t width = 0;
    std::size_t blank = std::string::npos; // the last blank of the line that fits
    std::size_t after_blank = 0;           // the width of the line after that blank
    for (std::size_t k = 0; k < coded.unit_at.size(); ++k) {
        const std::size_t at = coded.unit_at[k];
        if (text[at] == '\n') {
            width = 0;
            blank = std::string::npos;
            continue;
        }
        if (text[at] == '{')
            continue;
        const std::size_t next = k + 1 < coded.unit_byte.size() ? coded.unit_byte[k + 1] : coded.bytes.size();
        const std::size_t cells = next - coded.unit_byte[k];
        if (text[at] == ' ' && width <= limit) {
            blank = at;
            after_blank = 0;
            width += cells;
            continue;
        }
        if (width + cells > limit && blank != std::string::npos) {
            text[blank] = '\n'; // the blank becomes the line break
            broken = true;
            width = after_blank;
            blank = std::string::npos;
        }
        width += cells;
        after_blank += cells;
    }
    return broken;
}

// The width and line count of a translation against the original string's block.
void check_width(checker& c, const po_entry& entry, const new_text& place, std::string& text, coded_text& coded,
                 severity level)
{
    const std::size_t limit = c.options.max_width != 0 ? c.options.max_width : widest_in_block(c, place.table, place.block);
    if (c.options.wrap && wrap_text(text, coded, limit)) {
        coded_text again;
        stored_bytes(c.file, c.codes, text, again);
        if (again.problems.empty()) {
            coded = std::move(again);
            wrapped_msgstr w{entry.msgstr_begin, entry.msgstr_end, text};
            c.check.wrapped.push_back(std::move(w));
        } else {
            text = entry.msgstr;
        }
    }
    std::vector<std::size_t> starts;
    const std::vector<std::size_t> widths = line_widths(text, coded, &starts);
    const std::string why = c.options.max_width != 0 ? "--max-width" : "the block's widest original line";
    msgstr_cursor cursor = msgstr_start(c.po, entry);
    for (std::size_t n = 0; n < widths.size(); ++n)
        if (widths[n] > limit)
            add(c, msgstr_place(cursor, std::min(starts[n], entry.msgstr.size())), level,
                c.place + ": line " + std::to_string(n + 1) + " is " + std::to_string(widths[n]) +
                    " bytes wide, wider than " + why + " (" + std::to_string(limit) + ")");
    const std::size_t lines = c.options.max_lines != 0 ? c.options.max_lines
                                                      : static_cast<std::size_t>(std::count(entry.msgid.begin(), entry.msgid.end(), '\n')) + 1;
    if (widths.size() > lines)
        add(c, entry_place(entry), level,
            c.place + ": " + std::to_string(widths.size()) + " lines, more than " +
                (c.options.max_lines != 0 ? "--max-lines" : "the original's") + " (" + std::to_string(lines) + ")");
}

// For a refused byte: the unit of the text that holds it and the bytes it is stored in.
std::string stored_as(std::string_view text, const coded_text& coded, const text_problem& problem)
{
    switch (problem.fault) {
    case text_fault::end_byte: case text_fault::lead_before_end: case text_fault::mark_in_text:
    case text_fault::bad_trail: case text_fault::lead_before_mark: case text_fault::lone_end_mark:
        break;
    default:
        return {};
    }
    const auto unit = std::lower_bound(coded.unit_at.begin(), coded.unit_at.end(), problem.at);
    if (unit == coded.unit_at.end() || *unit != problem.at || text[problem.at] == '{') // an escape names its bytes itself
        return {};
    const auto k = static_cast<std::size_t>(unit - coded.unit_at.begin());
    const std::size_t end = k + 1 < coded.unit_at.size() ? coded.unit_at[k + 1] : text.size();
    const std::size_t bytes_end = k + 1 < coded.unit_byte.size() ? coded.unit_byte[k + 1] : coded.bytes.size();
    std::string codes;
    for (std::size_t b = coded.unit_byte[k]; b < bytes_end; ++b)
        codes += (codes.empty() ? "" : " ") + hex_text(coded.bytes[b], 2);
    return " (\"" + shown_text(text.substr(problem.at, end - problem.at)) + "\" is stored as " + codes + ")";
}

// Whether a msgid stands for these bytes though it is not their text (a PO exported
// before a character table was added, or with another one).
bool same_bytes(const checker& c, std::string_view msgid, const std::vector<std::uint8_t>& bytes)
{
    coded_text coded;
    stored_bytes(c.file, c.codes, msgid, coded);
    return coded.bytes == bytes && std::all_of(coded.problems.begin(), coded.problems.end(), [](const text_problem& p) {
               return p.fault == text_fault::reads_back;
           });
}

// The string an entry names: by msgctxt, or by a reference where a tool dropped msgctxt
// (xliff2po and csv2po give an entry with an empty msgid its reference as msgctxt).
// False after adding the problem of an entry that names none, or names one again.
bool string_of_entry(checker& c, const po_entry& entry, severity level, new_text& text)
{
    const po_reference* reference = nullptr;
    new_text by_reference{};
    for (const po_reference& r : entry.references)
        if (reference == nullptr && place_of(c.file, r.place, by_reference))
            reference = &r;
    const bool context_is_reference =
        reference != nullptr && entry.context == reference->file + ":" + reference->place;
    const std::string context = entry.has_context && !context_is_reference ? entry.context
                                : reference != nullptr                   ? reference->place
                                                                         : "";
    if ((!entry.has_context && reference == nullptr) || !place_of(c.file, context, text)) {
        ++c.check.counts.no_string;
        add(c, entry_place(entry), level,
            entry.has_context ? "msgctxt \"" + shown_text(entry.context) + "\" names no string of " + c.file.path
                              : "an entry without msgctxt or a reference (#: FILE:PLACE) names no string");
        return false;
    }
    if (entry.has_context && reference != nullptr && reference->place != context)
        return add(c, entry_place(entry), level,
                   "msgctxt \"" + entry.context + "\" and the reference " + shown_text(reference->file) + ":" +
                       reference->place + " (line " + std::to_string(reference->line) + ") name different strings"),
               false;
    c.place = context;
    std::size_t& first = c.seen[c.first_string[text.table][text.block] + text.index];
    if (first != 0) {
        add(c, entry_place(entry), level,
            context + ": a second entry for this string (the first is at line " + std::to_string(first) + ")");
        return false;
    }
    first = entry.line;
    ++c.seen_count;
    return true;
}

// Reads one entry. Returns true with `taken` for a translation to take.
bool check_entry(checker& c, const po_entry& entry, taken_text& taken)
{
    const severity level = entry.fuzzy ? severity::warning : severity::error;
    new_text& text = taken.text;
    if (!string_of_entry(c, entry, level, text))
        return false;
    if (entry.plural)
        return add(c, entry_place(entry), level, c.place + ": plural forms have no place here"), false;
    const string_table& t = tables_of(c.file)[text.table];
    std::string old_text;
    decode_string_text(c.file, c.codes, t, string_start(t.data, t.directory.blocks[text.block], text.index), c.decoder,
                       old_text);
    const std::vector<std::uint8_t>& old_bytes = c.decoder.bytes;
    entry_counts& counts = c.check.counts;
    ++(entry.fuzzy ? counts.fuzzy : entry.msgstr.empty() ? counts.untranslated : counts.translated);
    if (entry.msgid != old_text && !same_bytes(c, entry.msgid, old_bytes)) {
        std::string quoted;
        append_quoted(quoted, old_text);
        return add(c, entry_place(entry), level,
                   c.place + ": msgid no longer matches the file, which holds " + shown_text(quoted)), false;
    }
    if (entry.msgstr.empty())
        return false;
    coded_text coded;
    stored_bytes(c.file, c.codes, entry.msgstr, coded);
    msgstr_cursor cursor = msgstr_start(c.po, entry);
    for (const text_problem& problem : coded.problems)
        add(c, msgstr_place(cursor, problem.at), level,
            c.place + ": " + text_problem_text(problem, entry.msgstr) + stored_as(entry.msgstr, coded, problem));
    if (!coded.problems.empty())
        return false;
    check_like_msgid(c, entry, old_text, severity::warning); // the msgid as the file's text
    std::string translation = entry.msgstr;
    check_width(c, entry, text, translation, coded, severity::warning);
    if (entry.fuzzy)
        return false;
    taken.growth = static_cast<std::int64_t>(coded.bytes.size()) - static_cast<std::int64_t>(old_bytes.size());
    text.bytes = std::move(coded.bytes);
    text.bytes.shrink_to_fit(); // kept until the rebuild, with every other translation
    c.check.changed += text.bytes != old_bytes;
    taken.line = entry.line;
    taken.column = entry.column;
    return true;
}

// A rebuild that fails: at the entry of the string out of reach, with the entries whose
// texts grew in its table, or at the first of them.
// Where a translation taken was, kept for report_rebuild once its text is moved out.
struct taken_place {
    std::size_t table;
    std::uint32_t block, index;
    std::size_t line, column;
    std::int64_t growth;
};

void report_rebuild(checker& c, const status& s, const std::vector<taken_place>& taken)
{
    std::string message = c.file.path + ": " + failure_place(s) + failure_text(s, c.file.path);
    po_place at{};
    if (s.code == failure::out_of_reach) {
        const std::vector<string_table>& tables = tables_of(c.file);
        std::size_t table = 0;
        while (table + 1 < tables.size() && tables[table].section != s.section)
            ++table;
        message += " (" + counted(s.distance - 0xFFFF, "byte") + " over); texts that grew in this table:";
        std::size_t listed = 0;
        for (const taken_place& t : taken) {
            if (t.table == table && t.block == s.block && t.index == s.string)
                at = {t.line, t.column};
            if (t.table != table || t.growth <= 0)
                continue;
            if (at.line == 0)
                at = {t.line, t.column};
            if (++listed <= 10)
                message += std::string(listed == 1 ? " " : ", ") + "line " + std::to_string(t.line) + " (+" +
                           counted(static_cast<std::uint64_t>(t.growth), "byte") + ")";
        }
        if (listed > 10)
            message += " and " + std::to_string(listed - 10) + " more";
        if (listed == 0)
            message += " none";
    }
    add(c, at, severity::error, message);
}

void rebuild(checker& c, std::vector<taken_text>& taken)
{
    std::sort(taken.begin(), taken.end(), [](const taken_text& a, const taken_text& b) {
        return std::tie(a.text.table, a.text.block, a.text.index) < std::tie(b.text.table, b.text.block, b.text.index);
    });
    std::vector<new_text>& texts = c.check.texts;
    texts.reserve(taken.size());
    std::vector<taken_place> places;
    places.reserve(taken.size());
    for (taken_text& t : taken) {
        places.push_back({t.text.table, t.text.block, t.text.index, t.line, t.column, t.growth});
        texts.push_back(std::move(t.text));
    }
    std::vector<taken_text>().swap(taken);
    if (const status s = rebuild_game_file(c.file, texts, c.check.result); failed(s))
        return report_rebuild(c, s, places);
    c.check.rebuilt = true;
    if (!c.options.read_back)
        return;
    // The bytes are lent to the parse (its records view them) and taken back after.
    game_file rebuilt;
    status s = parse_game_file(std::move(c.check.result.bytes), c.file.path, kind_of(c.file), rebuilt);
    if (!failed(s))
        s = check_rebuilt(c.file, texts, rebuilt);
    c.check.result.bytes = std::move(rebuilt.bytes);
    if (failed(s))
        return add(c, {}, severity::error, "the rebuilt file fails its check: " + failure_text(s, c.file.path));
}

} // namespace

void check_po(const game_file& file, const char_table& codes, std::string_view po, const check_options& options,
              po_check& check, std::vector<std::uint8_t>* release)
{
    check = po_check{};
    checker c{file, codes, po, options, check, {}, {}, 0, {}, {}, {}, {}};
    start_decoding(file, c.decoder);
    start_decoding(file, c.block_decoder);
    std::uint64_t total = 0;
    for (const string_table& t : tables_of(file)) {
        std::vector<std::uint64_t>& first = c.first_string.emplace_back();
        for (const string_block& b : t.directory.blocks) {
            first.push_back(total);
            total += b.count;
        }
    }
    c.seen.assign(total, 0);
    // The entries one at a time, as they are read.
    po_reader reader;
    po_entry entry;
    std::vector<taken_text> taken;
    std::size_t entries = 0;
    for (bool more = po_start(po, reader); more && po_next_entry(reader, entry);) {
        if (!entry.has_context && entry.msgid.empty()) {
            check_header(c, entry);
            continue;
        }
        ++entries;
        taken_text t{};
        if (check_entry(c, entry, t))
            taken.push_back(std::move(t));
    }
    if (reader.failed) { // a syntax fault is the one problem
        check = po_check{};
        check.unreadable = true;
        return add(c, {reader.po.error_line, reader.po.error_column}, severity::error, shown_text(reader.po.error));
    }
    check.counts.obsolete = reader.po.obsolete;
    if (entries == 0)
        add(c, {}, severity::error, "no entries: the PO names no string to translate");
    else if (check.counts.no_string == entries)
        add(c, {}, severity::error, "no entry names a string of " + file.path);
    check.counts.without_entry = total - c.seen_count;
    if (release != nullptr) // the entries are read: the rebuild needs the PO no more
        std::vector<std::uint8_t>().swap(*release);
    if (!check_failed(check, options.strict))
        rebuild(c, taken);
    std::stable_sort(check.problems.begin(), check.problems.end(), [](const diagnostic& a, const diagnostic& b) {
        return std::make_tuple(a.line == 0, a.line, a.column) < std::make_tuple(b.line == 0, b.line, b.column);
    });
}

bool check_failed(const po_check& check, bool strict)
{
    return std::any_of(check.problems.begin(), check.problems.end(),
                       [&](const diagnostic& d) { return strict || d.level == severity::error; });
}

void write_report(const po_check& check, std::string_view po_name, const game_file& file, text_output& to)
{
    std::uint64_t errors = 0, warnings = 0;
    for (const diagnostic& d : check.problems) {
        out_text(to, po_name);
        if (d.line != 0)
            out_text(to, ":" + std::to_string(d.line) + ":" + std::to_string(d.column));
        out_text(to, d.level == severity::error ? ": error: " : ": warning: ");
        out_text(to, d.message);
        out_byte(to, '\n');
        ++(d.level == severity::error ? errors : warnings);
    }
    if (check.unreadable)
        return;
    const entry_counts& n = check.counts;
    out_text(to, std::string(po_name) + ": " + std::to_string(n.translated) + " translated, " +
                     std::to_string(n.fuzzy) + " fuzzy, " + std::to_string(n.untranslated) + " untranslated, " +
                     std::to_string(n.obsolete) + " obsolete, " + std::to_string(n.no_string) +
                     (n.no_string == 1 ? " entry" : " entries") + " naming no string, " + counted(n.without_entry, "string") + " of " + base_name(file.path) +
                     " without an entry; " + counted(errors, "error") + ", " + counted(warnings, "warning") + "\n");
}

void write_wrapped(std::string_view po, const po_check& check, text_output& to)
{
    std::size_t at = 0;
    for (const wrapped_msgstr& w : check.wrapped) {
        out_text(to, po.substr(at, w.begin - at));
        write_po_msgstr(to, w.text);
        at = w.end;
    }
    out_text(to, po.substr(at));
}
