// libFuzzer target: the fuzzer's bytes are a PO file, imported into each of the three
// bundled examples by kx_text itself (run_kx_text, with a file in a temporary folder:
// the import's matching of entries and its check of each translation are kx_text's
// own and not library calls). A crash or sanitizer report stops the run, and so does
// an import that kx_text accepted but that does not hold what the PO asks: read back,
// every string whose entry has a translation, not fuzzy, must hold that text and every
// other string its old one. A rebuilt file failing kx_text's own check stops it too.
// Bytes before a first zero byte are a character table: where a file takes it, every
// string's text through it must store as the string's bytes, and every msgstr that it
// stores must read back as itself.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "format/game_file.h"
#include "cli/text_tool.h"
#include "translate/po.h"

namespace {

struct example {
    std::string path;
    const char* kind;
    game_file file;
};

std::vector<example> examples;
std::string folder;

// The text of every string of a file through a table, by context.
std::map<std::string, std::string> texts_of(const game_file& file, const char_table& codes)
{
    std::map<std::string, std::string> texts;
    std::vector<std::uint8_t> bytes;
    for (const string_table& table : tables_of(file))
        for (std::uint32_t b = 0; b < table.directory.num_blocks; ++b)
            for (std::uint32_t j = 0; j < table.directory.blocks[b].count; ++j) {
                string_bytes(file, table, string_start(table.data, table.directory.blocks[b], j), bytes);
                string_text(file, codes, bytes, texts[string_place(table.section, b, j)]);
            }
    return texts;
}

// Aborts unless the texts of `file` with `table` are exact both ways.
void check_table(const game_file& file, const char_table& table, const std::vector<po_entry>& entries)
{
    std::vector<std::uint8_t> bytes;
    std::string text;
    coded_text coded;
    for (const string_table& t : tables_of(file))
        for (const string_block& block : t.directory.blocks)
            for (std::uint32_t j = 0; j < block.count; ++j) {
                string_bytes(file, t, string_start(t.data, block, j), bytes);
                string_text(file, table, bytes, text);
                stored_bytes(file, table, text, coded);
                if (!coded.problems.empty() || coded.bytes != bytes)
                    std::abort();
            }
    for (const po_entry& entry : entries) {
        stored_bytes(file, table, entry.msgstr, coded);
        if (coded.problems.empty() && (string_text(file, table, coded.bytes, text), text != entry.msgstr))
            std::abort();
    }
}

// The place of the string that an accepted, translated entry names: its msgctxt, or
// its first reference that names a string.
const std::string& place_of_entry(const po_entry& entry, const std::map<std::string, std::string>& texts)
{
    if (entry.has_context && texts.count(entry.context) != 0)
        return entry.context;
    for (const po_reference& r : entry.references)
        if (texts.count(r.place) != 0)
            return r.place;
    std::abort();
}

// Runs kx_text with `args` and `--table` when there is one; its status, its streams in
// `out` and `err`.
int run(std::vector<const char*> args, bool with_table, const std::string& table_path, text_output& out,
        text_output& err)
{
    if (with_table) {
        args.push_back("--table");
        args.push_back(table_path.c_str());
    }
    out_init_memory(out);
    out_init_memory(err);
    return run_kx_text(static_cast<int>(args.size()), args.data(), out, err);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base = std::filesystem::exists(shm) ? shm : std::filesystem::temp_directory_path();
    folder = (base / ("kx_fuzz_import_" + std::to_string(std::random_device{}()))).string();
    std::filesystem::create_directories(folder);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    for (const auto& [name, kind] : {std::pair{"KESTRA", file_kind::archive}, std::pair{"STRINGS.PAK", file_kind::pack},
                                     std::pair{"XOR.PAK", file_kind::pack}}) {
        example& e = examples.emplace_back();
        e.path = std::string(KX_EXAMPLES_DIR) + "/" + name;
        e.kind = kind == file_kind::archive ? "archive" : "pack";
        kind_failures why;
        const status s = load_game_file(e.path, kind, e.file, why);
        if (failed(s)) {
            std::fprintf(stderr, "fuzz_import: %s\n", load_failure_text(s, why, e.path, kind).c_str());
            std::abort();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    const bool with_table = zero != std::string_view::npos;
    const std::string_view lines = input.substr(0, with_table ? zero : 0);
    const std::string_view po_text = input.substr(with_table ? zero + 1 : 0);
    const std::string po = folder + "/in.po", rebuilt = folder + "/out", table_path = folder + "/extra.tbl";
    for (const auto& [path, bytes] : {std::pair{po, po_text}, std::pair{table_path, lines}}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
            std::abort();
    }
    po_contents contents;
    const bool readable = read_po(po_text, contents);
    const std::vector<po_entry>& entries = contents.entries;
    for (const example& e : examples) {
        char_table table;
        if (with_table && failed(read_char_table(e.file, lines, table)))
            continue; // kx_text refuses the table for this file
        if (with_table)
            check_table(e.file, table, entries);
        text_output out, err, report, check_err;
        const int status = run({"kx_text", "import", e.path.c_str(), po.c_str(), "-o", rebuilt.c_str(), "--kind", e.kind},
                               with_table, table_path, out, err);
        if (err.kept.find("the rebuilt file fails its check") != std::string::npos)
            std::abort();
        // check agrees with import: the same status, and its report is import's
        // messages without the last line of a successful import.
        if (run({"kx_text", "check", e.path.c_str(), po.c_str(), "--kind", e.kind}, with_table, table_path, report,
                check_err) != status ||
            !err.kept.starts_with(report.kept))
            std::abort();
        if (status != 0)
            continue;
        // Accepted: the PO must read, and the new file hold what it asks.
        game_file file;
        kind_failures why;
        if (!readable || failed(load_game_file(rebuilt, kind_of(e.file), file, why)))
            std::abort();
        std::map<std::string, std::string> want = texts_of(e.file, table);
        for (const po_entry& entry : entries)
            if (!entry.msgstr.empty() && !entry.fuzzy && (entry.has_context || !entry.msgid.empty()))
                want.at(place_of_entry(entry, want)) = entry.msgstr;
        if (texts_of(file, table) != want)
            std::abort();
        std::filesystem::remove(rebuilt);
    }
    return 0;
}
