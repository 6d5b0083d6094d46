#include <string>
#include <vector>

#include "translate/command.h"
#include "translate/kx_text.h"
#include "translate/po.h"

namespace {

// The extracted comment of a string: its block's id and its offset, as the verbose
// dump shows it (in its section for an archive, in the file for a pack).
std::string string_comment(const string_block& block, std::uint64_t start)
{
    return "block id " + std::to_string(block.id) + ", offset +" + hex_text(start, 8);
}

// Every field that translators' tools expect, without a date: the same file always
// exports to the same bytes.
std::string header_fields(const game_file& file, const std::string& language)
{
    return "Project-Id-Version: " + base_name(file.path) + "\n"
           "PO-Revision-Date: \n"
           "Last-Translator: \n"
           "Language-Team: \n"
           "Language: " + language + "\n"
           "MIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=UTF-8\n"
           "Content-Transfer-Encoding: 8bit\n"
           "X-Kx-Kind: " + std::string(kind_name(kind_of(file))) + "\n"
           "X-Kx-Source: " + base_name(file.path) + "\n"
           "X-Kx-Source-Size: " + std::to_string(file.bytes.size()) + "\n";
}

// Writes the PO of `file` to `into`; returns the number of strings.
std::uint64_t write_po(const game_file& file, const char_table& codes, const std::string& language, text_output& into)
{
    write_po_header(into, header_fields(file, language));
    std::uint64_t strings = 0;
    std::vector<std::uint8_t> bytes;
    std::string text;
    for (const string_table& table : tables_of(file))
        for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b) {
            const string_block& block = table.directory.blocks[b];
            for (std::uint32_t j = 0; j < block.count; ++j) {
                const std::uint64_t start = string_start(table.data, block, j);
                string_bytes(file, table, start, bytes);
                string_text(file, codes, bytes, text);
                write_po_entry(into, string_comment(block, start), string_place(table.section, b, j), text);
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

} // namespace

int export_po(const export_request& request, text_output& out, text_output& err)
{
    game_file file;
    char_table table;
    if (!load(request.file, request.kind, file, err) || !load_table(request.table, file, table, err))
        return 1;
    if (request.output.empty()) {
        const std::uint64_t strings = write_po(file, table, request.language, out);
        if (out_finish(out) != 0)
            return report(err, "can't write output"), 1;
        out_text(err, counted(strings, "string") + " exported; " + counted(unreached_bytes(file), "byte") +
                          " of the strings area reached by no string\n");
        return 0;
    }
    // A file that appears whole or not at all.
    output_file target;
    if (!open_output(request.output, std::span(&request.file, 1), target, err))
        return 1;
    text_output po;
    out_init_file(po, target.stream.get());
    const std::uint64_t strings = write_po(file, table, request.language, po);
    if (out_finish(po) != 0 || !output_file_commit(target))
        return report(err, "can't write " + request.output), 1;
    out_text(err, counted(strings, "string") + " exported; " + counted(unreached_bytes(file), "byte") +
                      " of the strings area reached by no string\n");
    return 0;
}

