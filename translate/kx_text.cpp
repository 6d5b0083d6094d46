#include "translate/kx_text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "archive_strings/game_text.h"
#include "common/file_io.h"
#include "common/notation.h"
#include "pack_strings/pack_text.h"
#include "pack_strings/xor_chain.h"
#include "translate/game_file.h"
#include "translate/po.h"
#include "translate/rebuild.h"

namespace {

constexpr std::string_view usage = "usage: kx_text export FILE [-o OUT.po] [--kind archive|pack] [--language LL]\n"
                                   "       kx_text import FILE TRANSLATED.po -o NEWFILE [--kind archive|pack]\n"
                                   "       kx_text -?|--help\n";

struct text_options {
    std::string command;
    std::vector<std::string> files;
    std::string output;
    std::string language = "und"; // the language of the translations: undetermined
    bool has_kind = false;
    file_kind kind = file_kind::archive;
};

void report(text_output& err, std::string_view message)
{
    out_text(err, "ERROR: ");
    out_text(err, message);
    out_byte(err, '\n');
}

// Returns 0 to go on, or the exit status after help or an error.
int parse_arguments(int argc, const char* const* argv, text_options& options, text_output& out, text_output& err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-?" || arg == "-h" || arg == "--help") {
            out_text(out, usage);
            return -1;
        }
        if (arg == "-o" || arg == "--kind" || arg == "--language") {
            if (i + 1 == argc)
                return report(err, std::string(arg) + " needs a value"), 1;
            const std::string_view value = argv[++i];
            if (arg == "-o") {
                options.output = value;
            } else if (arg == "--language") {
                options.language = value;
            } else if (value == "archive" || value == "pack") {
                options.has_kind = true;
                options.kind = value == "pack" ? file_kind::pack : file_kind::archive;
            } else {
                return report(err, "--kind is archive or pack, not '" + std::string(value) + "'"), 1;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return report(err, "unknown option '" + std::string(arg) + "'"), 1;
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.files.emplace_back(arg);
        }
    }
    if (options.command != "export" && options.command != "import") {
        out_text(err, options.command.empty() ? "ERROR: no command\n" : "ERROR: unknown command '" + options.command + "'\n");
        out_text(err, usage);
        return 1;
    }
    const std::size_t files = options.command == "export" ? 1 : 2;
    if (options.files.size() != files)
        return report(err, options.command + (files == 1 ? " takes one FILE" : " takes a FILE and a TRANSLATED.po")), 1;
    if (options.command == "import" && options.output.empty())
        return report(err, "import needs -o NEWFILE"), 1;
    for (const std::string& input : options.files)
        if (!options.output.empty() && same_file(input, options.output))
            return report(err, "-o names " + input + ", which this run reads; choose another name"), 1;
    return 0;
}

// "1 string", "2 strings".
std::string counted(std::uint64_t n, std::string_view noun)
{
    return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

std::string base_name(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

// The extracted comment of a string: its block's id and its offset, as the verbose
// dump shows it (in its section for an archive, in the file for a pack).
std::string string_comment(const string_block& block, std::uint64_t start)
{
    std::string note = "block id ";
    append_dec(note, block.id, 0);
    note += ", offset +";
    append_hex(note, start, 8);
    return note;
}

int export_file(const text_options& options, text_output& out, text_output& err)
{
    game_file file;
    std::string error;
    if (!load_game_file(options.files[0], options.has_kind ? &options.kind : nullptr, file, error))
        return report(err, error), 1;
    // The PO goes to standard output, or to a file that appears whole or not at all.
    text_output po;
    text_output* into = &out;
    std::string temporary;
    file_handle target;
    if (!options.output.empty()) {
        target = create_temporary_file(options.output, temporary);
        if (!target)
            return report(err, "can't write " + options.output), 1;
        out_init_file(po, target.get());
        into = &po;
    }
    const bool archive = file.kind == file_kind::archive;
    // Every field that translators' tools expect, without a date: the same file always
    // exports to the same bytes.
    write_po_header(*into, "Project-Id-Version: " + base_name(file.path) + "\n"
                           "PO-Revision-Date: \n"
                           "Last-Translator: \n"
                           "Language-Team: \n"
                           "Language: " + options.language + "\n"
                           "MIME-Version: 1.0\n"
                           "Content-Type: text/plain; charset=UTF-8\n"
                           "Content-Transfer-Encoding: 8bit\n"
                           "X-Kx-Kind: " + std::string(archive ? "archive" : "pack") + "\n"
                           "X-Kx-Source: " + base_name(file.path) + "\n"
                           "X-Kx-Source-Size: " + std::to_string(file.bytes.size()) + "\n");
    std::uint64_t strings = 0;
    std::vector<std::uint8_t> bytes;
    std::string text;
    for (const string_table& table : file.tables)
        for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b) {
            const string_block& block = table.directory.blocks[b];
            for (std::uint32_t j = 0; j < block.count; ++j) {
                const std::uint64_t start = string_start(table.data, block, j);
                std::uint64_t end = 0;
                read_game_string(file, table, start, bytes, end); // decoded once already: cannot fail
                game_text(file, bytes, text);
                write_po_entry(*into, string_comment(block, start), string_context(table, b, j), text);
                ++strings;
            }
        }
    const bool written = out_finish(*into) == 0;
    if (!target && !written)
        return report(err, "can't write output"), 1;
    if (target && (!close_written_file(target) || !written || !replace_file(temporary, options.output))) {
        remove_file(temporary);
        return report(err, "can't write " + options.output), 1;
    }
    out_text(err, counted(strings, "string") + " exported; " + counted(unreached_bytes(file), "byte") +
                      " of the strings area reached by no string\n");
    return 0;
}

// Where a context names a string: its table, block and position.
bool place_of(const game_file& file, const std::string& context, std::size_t& table, std::uint32_t& block,
              std::uint32_t& index)
{
    for (table = 0; table < file.tables.size(); ++table) {
        const string_table& t = file.tables[table];
        const std::string prefix = t.section < 0 ? "" : std::to_string(t.section) + ":";
        if (!context.starts_with(prefix))
            continue;
        const std::string place = context.substr(prefix.size());
        const std::size_t colon = place.find(':');
        if (colon == std::string::npos || colon > 9 || place.size() - colon > 10 ||
            place.find_first_not_of("0123456789:") != std::string::npos)
            return false;
        const unsigned long b = std::stoul("0" + place.substr(0, colon));
        const unsigned long j = std::stoul("0" + place.substr(colon + 1));
        if (b >= t.directory.num_blocks || j >= t.directory.blocks[b].count)
            return false;
        block = static_cast<std::uint32_t>(b);
        index = static_cast<std::uint32_t>(j);
        return string_context(t, block, index) == context; // as export writes it, digit for digit
    }
    return false;
}

// Where in `text` the unit starts whose bytes hold byte `k` of the text's bytes.
std::size_t unit_holding_byte(const game_file& file, std::string_view text, std::size_t k)
{
    std::vector<std::uint8_t> unit_bytes;
    std::size_t at = 0, next = 0, ignored = 0, count = 0;
    text_unit unit;
    while (next < text.size() && count <= k) {
        at = next;
        read_text_unit(text, next, unit);
        const std::string_view one = text.substr(at, next - at);
        if (file.kind == file_kind::archive)
            game_bytes_of(one, unit_bytes, ignored);
        else
            pack_bytes_of(one, unit_bytes, ignored);
        count += unit_bytes.size();
    }
    return at;
}

// The stored bytes of a translation, when its text is the one and only text of those
// bytes in this file's form: encoding it and reading it back gives the same text.
// Otherwise returns false with `at` (a byte of the text) and the reason.
bool stored_bytes(const game_file& file, std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at,
                  std::string& reason)
{
    const bool archive = file.kind == file_kind::archive;
    const text_fault fault = archive ? game_bytes_of(text, bytes, at) : pack_bytes_of(text, bytes, at);
    switch (fault) {
    case text_fault::none:
        break;
    case text_fault::bad_utf8:
        return reason = "not UTF-8", false;
    case text_fault::bad_escape:
        return reason = "a broken escape: raw bytes are written {XX} or {XX XX} in hexadecimal", false;
    case text_fault::control:
        return reason = "a control character: write its byte as an escape, {" +
                        std::string(1, "0123456789ABCDEF"[static_cast<unsigned char>(text[at]) >> 4]) +
                        std::string(1, "0123456789ABCDEF"[text[at] & 0xF]) + "}", false;
    case text_fault::no_code: {
        char32_t c = 0;
        const std::size_t length = read_utf8(text, at, c);
        return reason = "\"" + std::string(text.substr(at, length)) + "\" has no code in this file's encoding", false;
    }
    }
    // Reads the stored form back as the dumpers would; where it ends or fails before
    // all of the text's bytes, the text holds what the form cannot store.
    std::vector<std::uint8_t> stored, read_back;
    std::string back;
    std::size_t bad = bytes.size(); // the text's byte the fault is at
    if (archive) {
        stored = bytes;
        stored.push_back(game_end_byte);
        std::uint64_t end = 0;
        if (failed(game_text_of(stored, 0, back, &end)))
            reason = "a lead byte at the end of a text takes the end byte as its second byte", bad = bytes.size() - 1;
        else if (end < stored.size())
            reason = "the byte 1F ends a string: it cannot be part of a text", bad = static_cast<std::size_t>(end - 1);
    } else if (file.image.num_nodes > 0) {
        const auto mark = std::find(bytes.begin(), bytes.end(), end_mark);
        if (mark != bytes.end())
            reason = "the byte 7C ends every string of this file: it cannot be part of a text",
            bad = static_cast<std::size_t>(mark - bytes.begin());
        pack_text_of(bytes, back);
    } else {
        xor_encode(bytes, stored);
        xor_reader reader{0};
        std::uint8_t byte = 0;
        for (xor_step step; (step = xor_next(stored, reader, byte)) != xor_step::end;) {
            if (step != xor_step::byte) {
                reason = step == xor_step::bad_trail ? "a lead byte without a valid trail byte is not Shift-JIS"
                                                     : "a lead byte at the end of a text takes the end mark as its trail byte";
                bad = static_cast<std::size_t>(reader.position) - (step == xor_step::bad_trail ? 2 : 1);
                break;
            }
            read_back.push_back(byte);
        }
        if (reason.empty() && read_back.size() < bytes.size())
            reason = "the byte 7C ('|') alone ends a string in this form: it cannot be part of a text", bad = read_back.size();
        pack_text_of(read_back, back);
    }
    if (!reason.empty())
        return at = unit_holding_byte(file, text, bad), false;
    if (back == text)
        return true;
    at = 0;
    while (at < text.size() && at < back.size() && text[at] == back[at])
        ++at;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    if (archive && at < back.size() && back[at] == '\n' && text[at] == '\\')
        return reason = "a backslash followed by n is the game's line break: write a line break there "
                        "(the two characters themselves cannot be stored)", false;
    std::string quoted;
    append_quoted(quoted, back);
    return reason = "the game reads these bytes back as " + quoted + "; write that instead", false;
}

struct import_error {
    std::size_t line;
    std::string message;
};

int import_file(const text_options& options, text_output& err)
{
    const std::string& po_path = options.files[1];
    game_file file;
    std::string error;
    if (!load_game_file(options.files[0], options.has_kind ? &options.kind : nullptr, file, error))
        return report(err, error), 1;
    if (file.kind == file_kind::archive && !check_archive_index(file, error))
        return report(err, file.path + ": " + error), 1;
    std::vector<std::uint8_t> po_bytes;
    const status read = read_whole_file(po_path, po_bytes);
    if (failed(read))
        return report(err, failure_text(read, po_path)), 1;
    std::vector<po_entry> entries;
    if (!read_po(std::string_view(reinterpret_cast<const char*>(po_bytes.data()), po_bytes.size()), entries, error))
        return report(err, po_path + ":" + error.substr(5)), 1;

    std::vector<import_error> errors;
    std::map<std::string, std::size_t> seen; // context: line
    std::vector<new_text> texts;
    std::vector<std::uint8_t> bytes;
    std::string text;
    std::uint64_t changed = 0;
    for (const po_entry& entry : entries) {
        const auto fault = [&](std::size_t line, const std::string& message) { errors.push_back({line, message}); };
        if (!entry.has_context && entry.msgid.empty()) {
            const std::string_view type = po_header_field(entry.msgstr, "Content-Type");
            const std::size_t charset = type.find("charset=");
            std::string name(charset == std::string_view::npos ? "UTF-8" : type.substr(charset + 8));
            for (char& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (name != "UTF-8" && name != "UTF8")
                fault(entry.line, "the header declares " + std::string(type.substr(charset)) + "; kx_text reads UTF-8");
            continue;
        }
        std::size_t table = 0;
        std::uint32_t block = 0, index = 0;
        if (!entry.has_context) {
            fault(entry.line, "an entry without msgctxt names no string");
            continue;
        }
        if (!place_of(file, entry.context, table, block, index)) {
            fault(entry.line, "msgctxt \"" + entry.context + "\" names no string of " + file.path);
            continue;
        }
        if (const auto [first, fresh] = seen.emplace(entry.context, entry.line); !fresh) {
            fault(entry.line, "msgctxt \"" + entry.context + "\" again (first at line " + std::to_string(first->second) + ")");
            continue;
        }
        if (entry.plural) {
            fault(entry.line, entry.context + ": plural forms have no place here");
            continue;
        }
        const string_table& t = file.tables[table];
        std::uint64_t end = 0;
        read_game_string(file, t, string_start(t.data, t.directory.blocks[block], index), bytes, end);
        game_text(file, bytes, text);
        if (entry.msgid != text) {
            std::string quoted;
            append_quoted(quoted, text);
            fault(entry.line, entry.context + ": msgid no longer matches the file, which holds " + quoted);
            continue;
        }
        if (entry.msgstr.empty() || entry.fuzzy)
            continue;
        std::size_t at = 0;
        std::string reason;
        std::vector<std::uint8_t> translated;
        if (!stored_bytes(file, entry.msgstr, translated, at, reason)) {
            fault(entry.msgstr_line, entry.context + ": msgstr, character " +
                                         std::to_string(character_column(entry.msgstr, at)) + ": " + reason);
            continue;
        }
        changed += translated != bytes;
        texts.push_back({table, block, index, std::move(translated)});
    }
    if (!errors.empty()) { // in line order: each names a line of its own entry
        for (const import_error& e : errors)
            report(err, po_path + ":" + std::to_string(e.line) + ": " + e.message);
        return 1;
    }
    std::sort(texts.begin(), texts.end(), [](const new_text& a, const new_text& b) {
        return std::tie(a.table, a.block, a.index) < std::tie(b.table, b.block, b.index);
    });

    rebuilt_file result;
    if (!rebuild_game_file(file, texts, result, error))
        return report(err, file.path + ": " + error), 1;
    // Written beside the target, read back and checked string by string, and only then
    // renamed into place.
    std::string temporary;
    if (!write_temporary_file(options.output, result.bytes, temporary))
        return report(err, "can't write " + options.output), 1;
    game_file rebuilt;
    if (!load_game_file(temporary, &file.kind, rebuilt, error) || !check_rebuilt(file, texts, rebuilt, error)) {
        remove_file(temporary);
        return report(err, "the rebuilt file fails its check, nothing written: " + error), 1;
    }
    if (!replace_file(temporary, options.output))
        return report(err, "can't write " + options.output), 1;
    std::uint64_t total = 0;
    for (const string_table& t : file.tables)
        for (const string_block& b : t.directory.blocks)
            total += b.count;
    out_text(err, counted(changed, "string") + " changed, " + std::to_string(total - changed) + " kept, " +
                      counted(result.dropped, "byte") + " dropped, " + counted(file.bytes.size(), "byte") +
                      " before, " + std::to_string(result.bytes.size()) + " after" +
                      (result.new_tree ? ", a new code tree\n" : "\n"));
    return 0;
}

} // namespace

int run_kx_text(int argc, const char* const* argv, text_output& out, text_output& err)
{
    text_options options;
    int result = parse_arguments(argc, argv, options, out, err);
    try {
        if (result == 0)
            result = options.command == "export" ? export_file(options, out, err) : import_file(options, err);
    } catch (const std::bad_alloc&) {
        report(err, "memory exhausted");
        result = 1;
    }
    if (result < 0 && out_finish(out) != 0) { // help
        report(err, "can't write output");
        result = 1;
    }
    out_finish(err);
    return result < 0 ? 0 : result;
}
