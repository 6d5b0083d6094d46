#include "translate/po.h"

#include <algorithm>
#include <cctype>

#include "format/notation.h"

namespace {

// Writes `text` quoted as append_quoted quotes it, the runs that need no escape as they are.
void write_quoted(text_output& out, std::string_view text)
{
    out_byte(out, '"');
    std::size_t run = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto u = static_cast<unsigned char>(text[k]);
        if (u >= 0x20 && u != 0x7F && u != '"' && u != '\\')
            continue;
        out_text(out, text.substr(run, k - run));
        run = k + 1;
        const std::span<char> room = out_reserve(out, 4);
        room[0] = '\\';
        std::size_t length = 2;
        if (u == '"' || u == '\\')
            room[1] = static_cast<char>(u);
        else if (u == '\n')
            room[1] = 'n';
        else if (u == '\t')
            room[1] = 't';
        else if (u == '\r')
            room[1] = 'r';
        else {
            room[1] = static_cast<char>('0' + (u >> 6));
            room[2] = static_cast<char>('0' + ((u >> 3) & 7));
            room[3] = static_cast<char>('0' + (u & 7));
            length = 4;
        }
        out_commit(out, length);
    }
    out_text(out, text.substr(run));
    out_byte(out, '"');
}

void write_keyword(text_output& out, std::string_view keyword, std::string_view text)
{
    out_text(out, keyword);
    out_byte(out, ' ');
    const std::size_t first_break = text.find('\n');
    if (first_break == std::string_view::npos || first_break + 1 == text.size()) {
        write_quoted(out, text);
        out_byte(out, '\n');
        return;
    }
    out_text(out, "\"\"\n");
    while (!text.empty()) {
        const std::size_t cut = std::min(text.find('\n'), text.size() - 1) + 1;
        write_quoted(out, text.substr(0, cut));
        out_byte(out, '\n');
        text.remove_prefix(cut);
    }
}

} // namespace

void write_po_header(text_output& out, std::string_view fields, bool fuzzy)
{
    if (fuzzy)
        out_text(out, "#, fuzzy\n");
    write_keyword(out, "msgid", "");
    write_keyword(out, "msgstr", fields);
}

void write_po_entry(text_output& out, std::string_view comment, std::string_view reference, std::string_view context,
                    std::string_view msgid)
{
    out_byte(out, '\n');
    out_text(out, "#. ");
    out_text(out, comment);
    out_text(out, "\n#: ");
    out_text(out, reference);
    out_byte(out, '\n');
    write_keyword(out, "msgctxt", context);
    write_keyword(out, "msgid", msgid);
    write_keyword(out, "msgstr", "");
}

void write_po_msgstr(text_output& out, std::string_view msgstr)
{
    write_keyword(out, "msgstr", msgstr);
}

std::size_t column_of(std::string_view line, std::size_t at)
{
    return character_column(line, at);
}

void parse_po_references(std::string_view line, std::size_t number, std::vector<po_reference>& into)
{
    static constexpr std::string_view isolate_open = "\u2068", isolate_close = "\u2069";
    if (line.starts_with("#:"))
        line.remove_prefix(2);
    for (;;) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos)
            return;
        line.remove_prefix(start);
        po_reference& reference = into.emplace_back();
        reference.line = number;
        std::string_view token;
        if (line.starts_with(isolate_open) && line.find(isolate_close) != std::string_view::npos) {
            const std::size_t close = line.find(isolate_close);
            reference.file = line.substr(isolate_open.size(), close - isolate_open.size());
            line.remove_prefix(close + isolate_close.size());
            token = line.substr(0, line.find_first_of(" \t"));
            line.remove_prefix(token.size());
            if (token.starts_with(':'))
                reference.place = token.substr(1);
            continue;
        }
        token = line.substr(0, line.find_first_of(" \t"));
        line.remove_prefix(token.size());
        // The place: after the first colon of the tail of digits and colons.
        std::size_t tail = token.size();
        while (tail > 0 && (token[tail - 1] == ':' || (token[tail - 1] >= '0' && token[tail - 1] <= '9')))
            --tail;
        const std::size_t colon = token.find(':', tail);
        reference.file = token.substr(0, colon);
        if (colon != std::string_view::npos)
            reference.place = token.substr(colon + 1);
    }
}

namespace {

bool fail(po_reader& r, std::size_t line, std::size_t column, std::string message)
{
    r.po.error_line = line;
    r.po.error_column = column;
    r.po.error = std::move(message);
    return false;
}

// Ends the entry being read, if it is complete. Returns false for a msgid without msgstr.
bool finish_entry(po_reader& r)
{
    if (r.has_msgid && !r.has_msgstr)
        return fail(r, r.entry.line, r.entry.column, "msgid without msgstr");
    if (!r.has_msgid && r.entry.has_context)
        return fail(r, r.entry.line, r.entry.column, "msgctxt without msgid");
    if (r.has_msgid) {
        std::swap(r.finished, r.entry); // handed out by po_next_entry
        r.ready = true;
    }
    r.entry = po_entry{};
    r.has_msgid = r.has_msgstr = false;
    r.field = po_field::none;
    return true;
}

// Whether the comma-separated flags of a "#," line hold `flag`.
bool has_flag(std::string_view flags, std::string_view flag)
{
    while (!flags.empty()) {
        const std::size_t comma = std::min(flags.find(','), flags.size());
        std::string_view one = flags.substr(0, comma);
        flags.remove_prefix(std::min(comma + 1, flags.size()));
        while (!one.empty() && (one.front() == ' ' || one.front() == '\t'))
            one.remove_prefix(1);
        while (!one.empty() && (one.back() == ' ' || one.back() == '\t'))
            one.remove_suffix(1);
        if (one == flag)
            return true;
    }
    return false;
}

std::string* field_text(po_reader& r)
{
    switch (r.field) {
    case po_field::context: return &r.entry.context;
    case po_field::msgid: return &r.entry.msgid;
    case po_field::msgstr: return &r.entry.msgstr;
    case po_field::plural: r.ignored.clear(); return &r.ignored;
    case po_field::none: break;
    }
    return nullptr;
}

// Where a line of the file is: its number, its text (without its line end and leading
// blanks), the column of that text's first character, and where its bytes start and end.
struct po_line {
    std::size_t number = 0;
    std::string_view text;
    std::size_t column = 1;
    std::size_t begin = 0, end = 0;
};

// Starts the field of `keyword` on `line`. Returns false for a keyword out of place or
// unknown.
bool read_keyword(po_reader& r, std::string_view keyword, const po_line& line)
{
    if (keyword == "msgctxt" || keyword == "msgid") {
        if ((r.has_msgstr || (r.has_msgid && !r.has_msgstr)) && !finish_entry(r))
            return false;
        if (keyword == "msgid" ? r.has_msgid : (r.has_msgid || r.entry.has_context))
            return fail(r, line.number, line.column, std::string(keyword) + " out of place");
        if (!r.entry.has_context) {
            r.entry.line = line.number;
            r.entry.column = line.column;
        }
        r.entry.fuzzy = r.entry.fuzzy || r.pending_fuzzy;
        r.pending_fuzzy = false;
        r.entry.references.insert(r.entry.references.end(), r.pending_references.begin(), r.pending_references.end());
        r.pending_references.clear();
        r.entry.has_context |= keyword == "msgctxt";
        r.has_msgid |= keyword == "msgid";
        r.field = keyword == "msgid" ? po_field::msgid : po_field::context;
    } else if (keyword == "msgid_plural" && r.has_msgid && !r.has_msgstr) {
        r.entry.plural = true;
        r.field = po_field::plural;
    } else if (keyword == "msgstr" || keyword.starts_with("msgstr[")) {
        if (!r.has_msgid)
            return fail(r, line.number, line.column, "msgstr without msgid");
        if (keyword != "msgstr")
            r.entry.plural = true;
        if (r.has_msgstr && keyword == "msgstr")
            return fail(r, line.number, line.column, "a second msgstr");
        if (!r.has_msgstr) {
            r.entry.msgstr_line = line.number;
            r.entry.msgstr_begin = line.begin;
        }
        r.has_msgstr = true;
        r.field = keyword == "msgstr" || keyword == "msgstr[0]" ? po_field::msgstr : po_field::plural;
    } else {
        return fail(r, line.number, line.column, "unknown keyword " + std::string(keyword));
    }
    return true;
}

// The length in the file of the byte written at line[p] inside a quoted string: one
// byte, or an escape (as read_quoted reads them).
std::size_t quoted_length(std::string_view line, std::size_t p)
{
    if (line[p] != '\\' || p + 1 >= line.size())
        return 1;
    const auto digits = [&](std::size_t from, std::size_t most, bool hex) {
        std::size_t n = 0;
        while (n < most && from + n < line.size() &&
               (hex ? std::isxdigit(static_cast<unsigned char>(line[from + n])) != 0
                    : line[from + n] >= '0' && line[from + n] <= '7'))
            ++n;
        return n;
    };
    if (line[p + 1] == 'x')
        return 2 + digits(p + 2, 2, true);
    if (line[p + 1] >= '0' && line[p + 1] <= '7')
        return 1 + digits(p + 1, 3, false);
    return 2;
}

// Cuts the next line off `rest`, which starts at byte `at` of the file.
po_line next_line(std::string_view& rest, std::size_t& at, std::size_t number)
{
    const std::size_t nl = rest.find('\n');
    po_line line{number, rest.substr(0, nl), 1, at, 0};
    const std::size_t taken = nl == std::string_view::npos ? rest.size() : nl + 1;
    rest.remove_prefix(taken);
    at += taken;
    line.end = at;
    if (line.text.ends_with('\r'))
        line.text.remove_suffix(1);
    while (!line.text.empty() && (line.text.front() == ' ' || line.text.front() == '\t')) {
        line.text.remove_prefix(1);
        ++line.column;
    }
    return line;
}

// Reads a line that is not a comment. Returns false on a syntax fault.
bool read_field_line(po_reader& r, const po_line& line)
{
    std::size_t at = 0;
    const std::string_view text = line.text;
    if (text[0] != '"') {
        const std::size_t space = text.find_first_of(" \t");
        const std::string_view keyword = text.substr(0, space);
        at = space == std::string_view::npos ? text.size() : text.find('"', space);
        if (at == std::string_view::npos)
            return fail(r, line.number, line.column, "expected a quoted string after " + std::string(keyword));
        if (!read_keyword(r, keyword, line))
            return false;
    }
    std::string* into = field_text(r);
    if (into == nullptr)
        return fail(r, line.number, line.column, "a string outside any msgctxt, msgid or msgstr");
    if (r.field == po_field::msgstr)
        r.entry.msgstr_end = line.end;
    // One or more quoted strings, separated by blanks.
    std::string part;
    for (;;) {
        if (!read_quoted(text, at, part))
            return fail(r, line.number, line.column - 1 + column_of(text, at), "a bad quoted string");
        *into += part;
        at = text.find_first_not_of(" \t", at);
        if (at == std::string_view::npos)
            return true;
        if (text[at] != '"')
            return fail(r, line.number, line.column - 1 + column_of(text, at), "text after the quoted string");
    }
}

} // namespace

bool po_start(std::string_view text, po_reader& r)
{
    r = po_reader{};
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") || text.find('\0') != std::string_view::npos)
        return r.failed = true, fail(r, 1, 1, "NUL bytes or a UTF-16 byte order mark: this is not a UTF-8 PO file "
                                              "(convert a UTF-16 one with iconv -f UTF-16 -t UTF-8)");
    if (const std::size_t cr = text.find('\r'); cr != std::string_view::npos && text.find('\n') == std::string_view::npos &&
                                                cr + 1 < text.size())
        return r.failed = true, fail(r, 1, 1, "its lines end in CR alone: save it with LF or CR LF line ends");
    r.at = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    r.rest = text.substr(r.at);
    return true;
}

namespace {

// Reads the next line; false on a syntax fault.
bool read_line(po_reader& r)
{
    const po_line line = next_line(r.rest, r.at, ++r.number);
    if (line.text.empty() || line.text.starts_with("#|"))
        return true;
    if (line.text.starts_with("#~")) {
        r.pending_fuzzy = false; // flags and references before an obsolete entry are its own
        r.pending_references.clear();
        std::string_view obsolete = line.text.substr(2);
        while (!obsolete.empty() && (obsolete.front() == ' ' || obsolete.front() == '\t'))
            obsolete.remove_prefix(1);
        r.po.obsolete += obsolete.starts_with("msgid ") || obsolete.starts_with("msgid\t");
        return true;
    }
    if (line.text[0] == '#') {
        if (r.has_msgstr && !finish_entry(r))
            return false;
        r.field = po_field::none;
        if (line.text.starts_with("#,"))
            r.pending_fuzzy = r.pending_fuzzy || has_flag(line.text.substr(2), "fuzzy");
        else if (line.text.starts_with("#:"))
            parse_po_references(line.text, line.number, r.pending_references);
        return true;
    }
    return read_field_line(r, line);
}

} // namespace

bool po_next_entry(po_reader& r, po_entry& entry)
{
    r.ready = false;
    while (!r.failed && !r.ready) {
        if (r.rest.empty()) {
            if (r.ended)
                return false;
            r.ended = true;
            r.failed = !finish_entry(r);
        } else {
            r.failed = !read_line(r);
        }
    }
    if (r.failed)
        return false;
    std::swap(entry, r.finished);
    return true;
}

bool read_po(std::string_view text, po_contents& po)
{
    po = po_contents{};
    po_reader r;
    if (!po_start(text, r)) {
        po = std::move(r.po);
        return false;
    }
    po_entry entry;
    while (po_next_entry(r, entry))
        r.po.entries.push_back(std::move(entry));
    po = std::move(r.po);
    return !r.failed;
}

msgstr_cursor msgstr_start(std::string_view text, const po_entry& entry)
{
    msgstr_cursor cursor;
    const std::size_t begin = std::min(entry.msgstr_begin, text.size());
    cursor.rest = text.substr(begin, std::max(entry.msgstr_end, begin) - begin);
    cursor.offset = begin;
    cursor.number = entry.msgstr_line - 1;
    cursor.last = {entry.msgstr_line, 1};
    return cursor;
}

namespace {

// Moves the cursor to its next quoted string; false at the end of the msgstr.
bool next_string(msgstr_cursor& c)
{
    for (;;) {
        if (c.quote < c.line.size()) {
            std::size_t end = c.quote;
            std::string part;
            if (read_quoted(c.line, end, part)) {
                c.p = c.quote + 1;
                c.column = c.line_column - 1 + column_of(c.line, c.p);
                c.left = part.size();
                c.quote = std::min(c.line.find('"', end), c.line.size());
                c.last = {c.number, c.line_column - 1 + column_of(c.line, end - 1)};
                return true;
            }
        }
        if (c.rest.empty())
            return false;
        const po_line line = next_line(c.rest, c.offset, ++c.number);
        c.line = line.text;
        c.line_column = line.column;
        c.quote = std::min(c.line.find('"'), c.line.size());
    }
}

} // namespace

po_place msgstr_place(msgstr_cursor& c, std::size_t at)
{
    while (c.done < at || c.left == 0) {
        if (c.left == 0) {
            if (!next_string(c))
                return c.last; // the end of the msgstr: its closing quote
            continue;
        }
        // One byte of the msgstr: a plain byte or an escape of the file.
        const std::size_t length = quoted_length(c.line, c.p);
        if ((static_cast<unsigned char>(c.line[c.p]) & 0xC0) != 0x80)
            ++c.column;
        for (std::size_t k = 1; k < length; ++k)
            c.column += (static_cast<unsigned char>(c.line[c.p + k]) & 0xC0) != 0x80;
        c.p += length;
        --c.left;
        ++c.done;
    }
    return {c.number, c.column};
}

std::string_view po_header_field(std::string_view header, std::string_view name)
{
    while (!header.empty()) {
        const std::size_t nl = header.find('\n');
        std::string_view line = header.substr(0, nl);
        header.remove_prefix(nl == std::string_view::npos ? header.size() : nl + 1);
        if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == ':') {
            line.remove_prefix(name.size() + 1);
            while (!line.empty() && line.front() == ' ')
                line.remove_prefix(1);
            return line;
        }
    }
    return {};
}

bool po_translated(std::string_view text, bool& translated, std::string& error)
{
    translated = false;
    // The obsolete entries are read as a PO of their own, on the lines they have.
    std::string obsolete;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t nl = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, nl);
        rest.remove_prefix(std::min(nl + 1, rest.size()));
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        if (line.starts_with("#~") && !line.starts_with("#~|"))
            obsolete += line.substr(2);
        obsolete += '\n';
    }
    po_contents po;
    for (const std::string_view one : {text, std::string_view(obsolete)}) {
        if (!read_po(one, po)) {
            error = "line " + std::to_string(po.error_line) + ": " + po.error;
            return false;
        }
        for (const po_entry& entry : po.entries)
            translated |= !entry.msgstr.empty() && (entry.has_context || !entry.msgid.empty());
    }
    return true;
}
