#include "cli/text_tool.h"

#include <new>
#include <string>
#include <vector>

#include "cli/args.h"
#include "io/output_file.h"
#include "translate/kx_text.h"

namespace {

constexpr std::string_view usage = "usage: kx_text export FILE [-o OUT.po] [--kind archive|pack] [--language LL] [--table EXTRA.tbl]\n"
                                   "       kx_text import FILE TRANSLATED.po -o NEWFILE [--kind archive|pack]\n"
                                   "       kx_text table FILE [-o OUT.tbl] [--kind archive|pack]\n"
                                   "       kx_text -?|--help\n";

struct text_options {
    std::string command;
    std::vector<std::string> files;
    std::string output;
    std::string language = "und"; // the language of the translations: undetermined
    std::optional<file_kind> kind;
    std::string table; // --table: a character table
};

int report(text_output& err, std::string_view message)
{
    out_text(err, "ERROR: ");
    out_text(err, message);
    out_byte(err, '\n');
    return 1;
}

// Reads one option and its value. Returns 0, or 1 after reporting a fault.
int read_option(arg_reader& args, std::string_view option, text_options& options, text_output& err)
{
    std::string_view value;
    if (!next_arg(args, value))
        return report(err, std::string(option) + " needs a value");
    if (option == "-o")
        options.output = value;
    else if (option == "--language")
        options.language = value;
    else if (option == "--table")
        options.table = value;
    else if (value == "archive" || value == "pack")
        options.kind = value == "pack" ? file_kind::pack : file_kind::archive;
    else
        return report(err, "--kind is archive or pack, not '" + std::string(value) + "'");
    return 0;
}

// Returns 0 to go on, -1 after the usage asked for, or 1 after an error.
int parse_arguments(arg_reader args, text_options& options, text_output& out, text_output& err)
{
    std::string_view arg;
    while (next_arg(args, arg)) {
        if (arg == "-?" || arg == "-h" || arg == "--help") {
            out_text(out, usage);
            return -1;
        }
        if (arg == "-o" || arg == "--kind" || arg == "--language" || arg == "--table") {
            if (read_option(args, arg, options, err) != 0)
                return 1;
        } else if (is_option(arg)) {
            return report(err, "unknown option '" + std::string(arg) + "'");
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.files.emplace_back(arg);
        }
    }
    if (options.command != "export" && options.command != "import" && options.command != "table") {
        out_text(err, options.command.empty() ? "ERROR: no command\n" : "ERROR: unknown command '" + options.command + "'\n");
        out_text(err, usage);
        return 1;
    }
    const std::size_t files = options.command == "import" ? 2 : 1;
    if (options.files.size() != files)
        return report(err, options.command + (files == 1 ? " takes one FILE" : " takes a FILE and a TRANSLATED.po"));
    if (options.command == "import" && options.output.empty())
        return report(err, "import needs -o NEWFILE");
    if (options.command == "table" && !options.table.empty())
        return report(err, "--table is for export and import; table lists the file's own encoding");
    std::vector<std::string> inputs = options.files;
    if (!options.table.empty())
        inputs.push_back(options.table);
    std::size_t input = 0;
    if (!options.output.empty() && output_names_input(options.output, inputs, input))
        return report(err, "-o names " + inputs[input] + ", which this run reads; choose another name");
    return 0;
}

int run_command(const text_options& options, text_output& out, text_output& err)
{
    if (options.command == "export")
        return export_po({options.files[0], options.kind, options.output, options.language, options.table}, out, err);
    if (options.command == "table")
        return table_command({options.files[0], options.kind, options.output}, out, err);
    return import_po({options.files[0], options.files[1], options.output, options.kind, {}}, err);
}

} // namespace

int run_kx_text(int argc, const char* const* argv, text_output& out, text_output& err)
{
    text_options options;
    int result = parse_arguments({argc, argv}, options, out, err);
    try {
        if (result == 0)
            result = run_command(options, out, err);
    } catch (const std::bad_alloc&) {
        report(err, "memory exhausted");
        result = 1;
    }
    if (result < 0 && out_finish(out) != 0) // the usage asked for
        result = report(err, "can't write output");
    out_finish(err);
    return result < 0 ? 0 : result;
}
