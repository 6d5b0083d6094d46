#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "translate/command.h"
#include "translate/kx_text.h"
#include "translate/po.h"

namespace {

// The file of a string's reference: the base name, a control character as '?' (a
// reference is one line), between U+2068 and U+2069 when it holds blanks, as gettext
// writes such a name.
std::string reference_file(const game_file& file)
{
    std::string name = base_name(file.path);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    if (name.find(' ') != std::string::npos)
        name = "\u2068" + name + "\u2069";
    return name;
}

// Every field that translators' tools expect, without a date: the same file always
// exports to the same bytes. A template has the placeholders of xgettext's, which
// msginit fills in; a PO leaves them empty.
std::string header_fields(const game_file& file, const char_table& codes, const std::string& language, bool as_template)
{
    return "Project-Id-Version: " + base_name(file.path) + "\n"
           "Report-Msgid-Bugs-To: \n" +
           (as_template ? "PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\n"
                          "Last-Translator: FULL NAME <EMAIL@ADDRESS>\n"
                          "Language-Team: LANGUAGE <LL@li.org>\n"
                        : "PO-Revision-Date: \n"
                          "Last-Translator: \n"
                          "Language-Team: \n") +
           "Language: " + language + "\n"
           "MIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=UTF-8\n"
           "Content-Transfer-Encoding: 8bit\n"
           "X-Kx-Kind: " + std::string(kind_name(kind_of(file))) + "\n"
           "X-Kx-Source: " + base_name(file.path) + "\n"
           "X-Kx-Source-Size: " + std::to_string(file.bytes.size()) + "\n" +
           (codes.name.empty() ? "" : "X-Kx-Table: " + base_name(codes.name) + "\n");
}

// Writes the PO or template of `file` to `into`; returns the number of strings. Each
// string is decoded once, into buffers that every string reuses.
std::uint64_t write_po(const game_file& file, const char_table& codes, const std::string& language, bool as_template,
                       text_output& into)
{
    write_po_header(into, header_fields(file, codes, language, as_template), as_template);
    const std::string reference = reference_file(file) + ":";
    std::uint64_t strings = 0;
    string_decoder decoder;
    start_decoding(file, decoder);
    std::string text, comment, place_reference;
    for (const string_table& table : tables_of(file))
        for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b) {
            const string_block& block = table.directory.blocks[b];
            for (std::uint32_t j = 0; j < block.count; ++j) {
                const std::uint64_t start = string_start(table.data, block, j);
                decode_string_text(file, codes, table, start, decoder, text);
                // The extracted comment: the block's id and the string's offset, as the
                // verbose dump shows them (in its section for an archive, in the file
                // for a pack); the reference FILE:PLACE, whose place is the context.
                comment.assign("block id ");
                append_dec(comment, block.id);
                comment += ", offset +";
                append_hex(comment, start, 8);
                place_reference.assign(reference);
                const std::size_t place_at = place_reference.size();
                if (table.section >= 0) {
                    append_dec(place_reference, table.section);
                    place_reference += ':';
                }
                append_dec(place_reference, b);
                place_reference += ':';
                append_dec(place_reference, j);
                write_po_entry(into, comment, place_reference, std::string_view(place_reference).substr(place_at), text);
                ++strings;
            }
        }
    return strings;
}

std::uint64_t unreached_bytes(const game_file& file)
{
    std::uint64_t unreached = 0;
    for (const string_table& table : tables_of(file))
        unreached += unreached_bytes(table);
    return unreached;
}

// Whether the file at `path` may be replaced: there is none, or it is empty or a PO
// without a translation. False after reporting why not.
bool may_replace(const std::string& path, text_output& err)
{
    // Only a file can hold a PO (a pipe would wait for a writer); the output refuses the rest.
    if (std::error_code code; !std::filesystem::is_regular_file(path, code))
        return true;
    std::vector<std::uint8_t> bytes;
    if (const status s = read_whole_file(path, bytes); failed(s))
        return report(err, read_failure_text(s, path)), false;
    bool translated = false;
    std::string error;
    if (!po_translated(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), translated, error))
        return report(err, path + " does not read as a PO file (" + error + "); give --force to replace it"), false;
    if (translated)
        return report(err, path + " holds translations; update it with msgmerge (see README), or give --force to replace it"),
               false;
    return true;
}

// Whether a name ends in ".pot", in any case.
bool ends_with_pot(std::string_view name)
{
    const std::string_view pot = ".pot";
    return name.size() >= pot.size() &&
           std::equal(pot.begin(), pot.end(), name.end() - 4, [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

int export_po(const export_request& request, text_output& out, text_output& err)
{
    const bool to_standard_output = request.output.empty() || request.output == "-";
    const bool as_template = request.as_template || ends_with_pot(request.output);
    if (as_template && !request.language.empty())
        return report(err, "a template has no language: leave out --language, or export a PO"), 1;
    game_file file;
    char_table table;
    if (!load(request.file, request.kind, file, err) || !load_table(request.table, file, table, err))
        return 1;
    std::uint64_t strings = 0;
    if (to_standard_output) {
        strings = write_po(file, table, request.language, as_template, out);
        if (out_finish(out) != 0)
            return report(err, write_failure_text("output", errno_reason(out.error))), 1;
    } else {
        // A file that appears whole or not at all, and never over a translator's work.
        output_file target;
        if ((!request.force && !may_replace(request.output, err)) ||
            !open_output(request.output, std::span(&request.file, 1), target, err))
            return 1;
        text_output po;
        out_init_file(po, target.stream.get());
        strings = write_po(file, table, request.language, as_template, po);
        if (out_finish(po) != 0)
            return report(err, write_failure_text(request.output, errno_reason(po.error))), 1;
        if (!output_file_commit(target))
            return report(err, write_failure_text(request.output, target.reason)), 1;
    }
    out_text(err, counted(strings, "string") + " exported; " + counted(unreached_bytes(file), "byte") +
                      " of the strings area reached by no string\n");
    return 0;
}

