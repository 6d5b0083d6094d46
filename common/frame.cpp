#include "common/frame.h"

int verbose_level = 0;

void print_usage(const tool_identity& tool, text_output& err)
{
    out_text(err, tool.usage_line);
    out_text(err, "option: -V|--verbose        increase verbose level\n");
    out_text(err, "        -?|--help           print usage\n");
    out_finish(err);
}

static void report_argument(text_output& err, std::string_view text, std::string_view arg)
{
    out_text(err, text);
    out_text(err, arg);
    out_text(err, "'\n");
    out_finish(err);
}

int parse_command_line(int argc, const char* const* argv, const tool_identity& tool,
                       text_output& err, std::string& file_name)
{
    int positional_budget = 1;
    bool have_file = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.empty() || arg[0] != '-') {
            if (positional_budget < 1) {
                report_argument(err, "ERROR: illegal parameter '", arg);
                return -1;
            }
            file_name = arg;
            have_file = true;
            --positional_budget;
        } else if (arg == "-?" || arg == "--help") {
            print_usage(tool, err);
            return -1;
        } else if (arg == "-V" || arg == "--verbose") {
            ++verbose_level;
        } else {
            report_argument(err, "ERROR: unknown option '", arg);
            return -1;
        }
    }
    if (!have_file)
        file_name = tool.default_file;
    return 0;
}

int finish_run(int result, text_output& out, text_output& err)
{
    if (out_finish(out) != 0) {
        out_text(err, "ERROR: can't write output\n");
        out_finish(err);
        return 1;
    }
    if (result != 0)
        return 1;
    out_text(err, "COMPLETED!\n");
    out_finish(err);
    return 0;
}

void write_line_prefix(text_output& out, std::initializer_list<std::int64_t> positions, bool verbose,
                       std::uint64_t offset)
{
    for (std::int64_t position : positions) {
        out_byte(out, '[');
        out_dec(out, position, 3);
        out_byte(out, ']');
    }
    if (verbose) {
        out_text(out, " +");
        out_hex(out, offset, 8);
    }
    out_text(out, " = ");
}

static void report_file(text_output& out, std::string_view text, std::string_view path)
{
    out_text(out, text);
    out_text(out, path);
    out_byte(out, '\n');
}

void report_cant_open(text_output& out, std::string_view path)
{
    report_file(out, "ERROR: can't open file: ", path);
}

void report_cant_seek(text_output& out, std::string_view path)
{
    report_file(out, "ERROR: can't seek file: ", path);
}

void report_cant_read(text_output& out, std::string_view path)
{
    report_file(out, "ERROR: can't read file: ", path);
}

void report_memory_exhausted(text_output& out)
{
    out_text(out, "ERROR: memory exhausted!\n");
}
