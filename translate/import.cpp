#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "format/notation.h"
#include "io/file_io.h"
#include "translate/command.h"
#include "translate/kx_text.h"
#include "translate/po.h"

namespace {

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

struct import_error {
    std::size_t line;
    std::string message;
};

// The header's charset must be UTF-8.
void check_header(const po_entry& entry, std::vector<import_error>& errors)
{
    const std::string_view type = po_header_field(entry.msgstr, "Content-Type");
    const std::size_t charset = type.find("charset=");
    std::string name(charset == std::string_view::npos ? "UTF-8" : type.substr(charset + 8));
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name != "UTF-8" && name != "UTF8")
        errors.push_back({entry.line, "the header declares " + std::string(type.substr(charset)) + "; kx_text reads UTF-8"});
}

// The new text of an entry: false when the entry names no string, names one again,
// or its msgid or msgstr is refused (an error is added), or when it brings no text.
bool entry_text(const game_file& file, const po_entry& entry, std::map<std::string, std::size_t>& seen,
                std::vector<import_error>& errors, new_text& text, bool& changed)
{
    const auto fault = [&](std::size_t line, const std::string& message) { errors.push_back({line, message}); };
    if (!entry.has_context)
        return fault(entry.line, "an entry without msgctxt names no string"), false;
    if (!place_of(file, entry.context, text))
        return fault(entry.line, "msgctxt \"" + entry.context + "\" names no string of " + file.path), false;
    if (const auto [first, fresh] = seen.emplace(entry.context, entry.line); !fresh)
        return fault(entry.line, "msgctxt \"" + entry.context + "\" again (first at line " + std::to_string(first->second) + ")"), false;
    if (entry.plural)
        return fault(entry.line, entry.context + ": plural forms have no place here"), false;
    const string_table& t = tables_of(file)[text.table];
    std::vector<std::uint8_t> old_bytes;
    std::string old_text;
    string_bytes(file, t, string_start(t.data, t.directory.blocks[text.block], text.index), old_bytes);
    string_text(file, char_table{}, old_bytes, old_text);
    if (entry.msgid != old_text) {
        std::string quoted;
        append_quoted(quoted, old_text);
        return fault(entry.line, entry.context + ": msgid no longer matches the file, which holds " + quoted), false;
    }
    if (entry.msgstr.empty() || entry.fuzzy)
        return false;
    coded_text coded;
    stored_bytes(file, char_table{}, entry.msgstr, coded);
    if (!coded.problems.empty()) {
        const text_problem& first = coded.problems[0]; // the first fault of the text
        return fault(entry.msgstr_line, entry.context + ": msgstr, character " +
                                            std::to_string(character_column(entry.msgstr, first.at)) + ": " +
                                            text_problem_text(first, entry.msgstr)), false;
    }
    text.bytes = std::move(coded.bytes);
    changed = text.bytes != old_bytes;
    return true;
}

// Writes the rebuilt file under a temporary name beside the target, reads it back and
// checks it string by string, and only then renames it into place. Every return before
// the commit removes the temporary file.
int write_checked(const game_file& file, std::span<const new_text> texts, const rebuilt_file& result,
                  const import_request& request, text_output& err)
{
    output_file target;
    const std::string inputs[] = {request.file, request.po};
    if (!open_output(request.output, inputs, target, err))
        return 1;
    if ((!result.bytes.empty() &&
         std::fwrite(result.bytes.data(), 1, result.bytes.size(), target.stream.get()) != result.bytes.size()) ||
        !output_file_close(target))
        return report(err, "can't write " + request.output), 1;
    const std::string& temporary = target.temporary;
    game_file rebuilt;
    kind_failures why;
    status s = load_game_file(temporary, kind_of(file), rebuilt, why);
    if (!failed(s))
        s = check_rebuilt(file, texts, rebuilt);
    if (failed(s)) {
        const std::string reason = s.code == failure::not_a_game_file ? load_failure_text(s, why, temporary, kind_of(file))
                                                                      : failure_text(s, temporary);
        return report(err, "the rebuilt file fails its check, nothing written: " + reason), 1;
    }
    if (!output_file_commit(target))
        return report(err, "can't write " + request.output), 1;
    return 0;
}

} // namespace

int import_po(const import_request& request, text_output& err)
{
    game_file file;
    if (!load(request.file, request.kind, file, err))
        return 1;
    if (const status s = check_for_rebuild(file); failed(s))
        return report(err, file.path + ": " + failure_text(s, file.path)), 1;
    std::vector<std::uint8_t> po_bytes;
    if (const status s = read_whole_file(request.po, po_bytes); failed(s))
        return report(err, failure_text(s, request.po)), 1;
    std::vector<po_entry> entries;
    std::string error;
    if (!read_po(std::string_view(reinterpret_cast<const char*>(po_bytes.data()), po_bytes.size()), entries, error))
        return report(err, request.po + ":" + error.substr(5)), 1;

    std::vector<import_error> errors;
    std::map<std::string, std::size_t> seen; // context: line
    std::vector<new_text> texts;
    std::uint64_t changed = 0;
    for (const po_entry& entry : entries) {
        if (!entry.has_context && entry.msgid.empty()) {
            check_header(entry, errors);
            continue;
        }
        new_text text{};
        bool differs = false;
        if (entry_text(file, entry, seen, errors, text, differs)) {
            changed += differs;
            texts.push_back(std::move(text));
        }
    }
    if (!errors.empty()) { // in line order: each names a line of its own entry
        for (const import_error& e : errors)
            report(err, request.po + ":" + std::to_string(e.line) + ": " + e.message);
        return 1;
    }
    std::sort(texts.begin(), texts.end(), [](const new_text& a, const new_text& b) {
        return std::tie(a.table, a.block, a.index) < std::tie(b.table, b.block, b.index);
    });

    rebuilt_file result;
    if (const status s = rebuild_game_file(file, texts, result); failed(s))
        return report(err, file.path + ": " + failure_place(s) + failure_text(s, file.path)), 1;
    if (write_checked(file, texts, result, request, err) != 0)
        return 1;
    std::uint64_t total = 0;
    for (const string_table& t : tables_of(file))
        for (const string_block& b : t.directory.blocks)
            total += b.count;
    out_text(err, counted(changed, "string") + " changed, " + std::to_string(total - changed) + " kept, " +
                      counted(result.dropped, "byte") + " dropped, " + counted(file.bytes.size(), "byte") +
                      " before, " + std::to_string(result.bytes.size()) + " after" +
                      (result.new_tree ? ", a new code tree\n" : "\n"));
    return 0;
}
