#include "cli/text_tool.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "cli/args.h"
#include "io/output_file.h"
#include "translate/kx_text.h"

namespace {

constexpr std::string_view usage =
    "usage: kx_text export FILE [-o OUT.po|OUT.pot|-] [--template] [--language LL] [--force] [--table EXTRA.tbl]\n"
    "                      [--kind archive|pack]\n"
    "       kx_text check FILE TRANSLATED.po|- [--strict] [--max-width N] [--max-lines N] [--table EXTRA.tbl]\n"
    "                     [--wrap -o WRAPPED.po|-] [--kind archive|pack]\n"
    "       kx_text import FILE TRANSLATED.po|- -o NEWFILE [--strict] [--table EXTRA.tbl] [--kind archive|pack]\n"
    "       kx_text table FILE [-o OUT.tbl|-] [--kind archive|pack]\n"
    "       kx_text -?|--help|--version\n";

struct text_options {
    std::string command;
    std::vector<std::string> files;
    std::string output;
    std::string language; // the language of the translations, empty when not given
    std::optional<file_kind> kind;
    check_options check;
    bool as_template = false;
    bool force = false;
    std::string table; // --table: a character table
};

// A language tag as gettext names languages: de, pt_BR, sr@latin, zh-Hant.
bool is_language_tag(std::string_view tag)
{
    return !tag.empty() && std::all_of(tag.begin(), tag.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '@';
    });
}

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
    if (option == "--max-width" || option == "--max-lines") {
        std::size_t n = 0;
        for (char c : value)
            n = c >= '0' && c <= '9' && n < 100000 ? n * 10 + static_cast<std::size_t>(c - '0') : 100000;
        if (n == 0 || n >= 100000)
            return report(err, std::string(option) + " takes a number from 1 to 99999, not '" + std::string(value) + "'");
        (option == "--max-width" ? options.check.max_width : options.check.max_lines) = n;
    } else if (option == "-o")
        options.output = value;
    else if (option == "--language" && is_language_tag(value))
        options.language = value;
    else if (option == "--language")
        return report(err, "--language takes a language tag such as de, pt_BR or sr@latin, not '" + std::string(value) + "'");
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
        if (arg == "--version") {
            out_text(out, "kx_text " KX_VERSION "\n");
            return -1;
        }
        if (arg == "--template" || arg == "--force" || arg == "--strict" || arg == "--wrap") {
            (arg == "--force" ? options.force : arg == "--template" ? options.as_template
                                              : arg == "--strict"   ? options.check.strict
                                                                    : options.check.wrap) = true;
            continue;
        }
        if (arg == "-o" || arg == "--kind" || arg == "--language" || arg == "--max-width" || arg == "--max-lines" ||
            arg == "--table") {
            if (read_option(args, arg, options, err) != 0)
                return 1;
        } else if (is_option(arg) && arg != "-") {
            return report(err, "unknown option '" + std::string(arg) + "'");
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.files.emplace_back(arg);
        }
    }
    if (options.command != "export" && options.command != "import" && options.command != "check" &&
        options.command != "table") {
        out_text(err, options.command.empty() ? "ERROR: no command\n" : "ERROR: unknown command '" + options.command + "'\n");
        out_text(err, usage);
        return 1;
    }
    const std::size_t files = options.command == "import" || options.command == "check" ? 2 : 1;
    if (options.files.size() != files)
        return report(err, options.command + (files == 1 ? " takes one FILE" : " takes a FILE and a TRANSLATED.po"));
    if (options.command == "import" && options.output.empty())
        return report(err, "import needs -o NEWFILE");
    if (options.command == "check" && options.check.wrap != !options.output.empty())
        return report(err, options.check.wrap ? "check --wrap needs -o WRAPPED.po (- for standard output)"
                                              : "check writes nothing: -o goes with --wrap");
    if (options.command == "import" && options.output == "-")
        return report(err, "import writes NEWFILE as a file, not to standard output");
    if (options.command == "table" && !options.table.empty())
        return report(err, "--table is for export, check and import; table lists the file's own encoding");
    std::vector<std::string> inputs = options.files;
    if (!options.table.empty())
        inputs.push_back(options.table);
    std::size_t input = 0;
    if (!options.output.empty() && options.output != "-" && output_names_input(options.output, inputs, input))
        return report(err, "-o names " + inputs[input] + ", which this run reads; choose another name");
    return 0;
}

int run_command(const text_options& options, text_output& out, text_output& err)
{
    if (options.command == "export")
        return export_po({options.files[0], options.kind, options.output, options.language, options.as_template,
                          options.force, options.table},
                         out, err);
    if (options.command == "table")
        return table_command({options.files[0], options.kind, options.output}, out, err);
    const import_request request{options.files[0], options.files[1], options.output, options.kind, options.check,
                                 options.table};
    if (options.command == "check")
        return check_command(request, out, err);
    return import_po(request, err);
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
    if (out_finish(out) != 0 && result <= 0) { // the usage, check's report
        const std::string reason = sys_reason_text(errno_reason(out.error));
        result = report(err, "can't write output" + (reason.empty() ? "" : ": " + reason));
    }
    out_finish(err);
    return result < 0 ? 0 : result;
}
