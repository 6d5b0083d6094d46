#include "translate/po.h"

#include <algorithm>

#include "format/notation.h"

namespace {

void write_keyword(text_output& out, std::string_view keyword, std::string_view text)
{
    out_text(out, keyword);
    out_byte(out, ' ');
    std::string quoted;
    const std::size_t first_break = text.find('\n');
    if (first_break == std::string_view::npos || first_break + 1 == text.size()) {
        append_quoted(quoted, text);
        out_text(out, quoted);
        out_byte(out, '\n');
        return;
    }
    out_text(out, "\"\"\n");
    while (!text.empty()) {
        const std::size_t cut = std::min(text.find('\n'), text.size() - 1) + 1;
        quoted.clear();
        append_quoted(quoted, text.substr(0, cut));
        out_text(out, quoted);
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

enum class po_field { none, context, msgid, plural, msgstr };

struct po_reader {
    std::vector<po_entry>& entries;
    po_entry entry;
    bool has_msgid = false;
    bool has_msgstr = false;
    bool pending_fuzzy = false;
    std::vector<po_reference> pending_references;
    po_field field = po_field::none;
    std::string ignored; // the text of plural fields
};

// Ends the entry being read, if it is complete. Returns false for a msgid without msgstr.
bool finish_entry(po_reader& r, std::string& error)
{
    if (r.has_msgid && !r.has_msgstr)
        return error = "line " + std::to_string(r.entry.line) + ": msgid without msgstr", false;
    if (!r.has_msgid && r.entry.has_context)
        return error = "line " + std::to_string(r.entry.line) + ": msgctxt without msgid", false;
    if (r.has_msgid)
        r.entries.push_back(r.entry);
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

// Starts the field of `keyword` on line `number`. Returns false with `error` for a
// keyword out of place or unknown.
bool read_keyword(po_reader& r, std::string_view keyword, std::size_t number, std::string& error)
{
    const std::string where = "line " + std::to_string(number) + ": ";
    if (keyword == "msgctxt" || keyword == "msgid") {
        if ((r.has_msgstr || (r.has_msgid && !r.has_msgstr)) && !finish_entry(r, error))
            return false;
        if (keyword == "msgid" ? r.has_msgid : (r.has_msgid || r.entry.has_context))
            return error = where + std::string(keyword) + " out of place", false;
        if (!r.entry.has_context)
            r.entry.line = number;
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
            return error = where + "msgstr without msgid", false;
        if (keyword != "msgstr")
            r.entry.plural = true;
        if (r.has_msgstr && keyword == "msgstr")
            return error = where + "a second msgstr", false;
        if (!r.has_msgstr)
            r.entry.msgstr_line = number;
        r.has_msgstr = true;
        r.field = keyword == "msgstr" || keyword == "msgstr[0]" ? po_field::msgstr : po_field::plural;
    } else {
        return error = where + "unknown keyword " + std::string(keyword), false;
    }
    return true;
}

} // namespace

bool read_po(std::string_view text, std::vector<po_entry>& entries, std::string& error)
{
    entries.clear();
    po_reader r{entries, {}, false, false, false, {}, po_field::none, {}};
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        const std::string where = "line " + std::to_string(number) + ": ";
        if (line.empty() || line.starts_with("#|"))
            continue;
        if (line.starts_with("#~")) {
            r.pending_fuzzy = false; // flags and references before an obsolete entry are its own
            r.pending_references.clear();
            continue;
        }
        if (line[0] == '#') {
            if (r.has_msgstr && !finish_entry(r, error))
                return false;
            r.field = po_field::none;
            if (line.starts_with("#,"))
                r.pending_fuzzy = r.pending_fuzzy || has_flag(line.substr(2), "fuzzy");
            else if (line.starts_with("#:"))
                parse_po_references(line, number, r.pending_references);
            continue;
        }
        std::size_t at = 0;
        if (line[0] != '"') {
            const std::size_t space = line.find_first_of(" \t");
            const std::string_view keyword = line.substr(0, space);
            at = space == std::string_view::npos ? line.size() : line.find('"', space);
            if (at == std::string_view::npos)
                return error = where + "expected a quoted string after " + std::string(keyword), false;
            if (!read_keyword(r, keyword, number, error))
                return false;
        }
        std::string* into = field_text(r);
        if (into == nullptr)
            return error = where + "a string outside any msgctxt, msgid or msgstr", false;
        // One or more quoted strings, separated by blanks.
        std::string part;
        for (;;) {
            if (!read_quoted(line, at, part))
                return error = where + "bad quoted string at column " + std::to_string(at + 1), false;
            *into += part;
            at = line.find_first_not_of(" \t", at);
            if (at == std::string_view::npos)
                break;
            if (line[at] != '"')
                return error = where + "text after the quoted string", false;
        }
    }
    return finish_entry(r, error);
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
    std::vector<po_entry> entries;
    for (const std::string_view one : {text, std::string_view(obsolete)}) {
        if (!read_po(one, entries, error))
            return false;
        for (const po_entry& entry : entries)
            translated |= !entry.msgstr.empty() && (entry.has_context || !entry.msgid.empty());
    }
    return true;
}
