#include "common/frame.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

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
                       text_output& err, tool_options& options)
{
    options = tool_options{};
    int positional_budget = 1;
    bool have_file = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.empty() || arg[0] != '-') {
            if (positional_budget < 1) {
                report_argument(err, "ERROR: illegal parameter '", arg);
                return -1;
            }
            options.file_name = arg;
            have_file = true;
            --positional_budget;
        } else if (arg == "-?" || arg == "--help") {
            print_usage(tool, err);
            return -1;
        } else if (arg == "-V" || arg == "--verbose") {
            ++options.verbose_level;
        } else {
            report_argument(err, "ERROR: unknown option '", arg);
            return -1;
        }
    }
    if (!have_file)
        options.file_name = tool.default_file;
    return 0;
}

int finish_run(const status& result, std::string_view path, text_output& out, text_output& err)
{
    report_failure(out, result, path);
    if (out_finish(out) != 0) {
        // The dump, or the message of a failure, was lost: that is a failure too.
        out_text(err, "ERROR: can't write output\n");
        out_finish(err);
        return 1;
    }
    if (failed(result))
        return 1;
    out_text(err, "COMPLETED!\n");
    out_finish(err);
    return 0;
}

void write_line_prefix(text_output& out, std::initializer_list<std::int64_t> positions, bool verbose,
                       std::uint64_t offset)
{
    for (std::int64_t position : positions) {
        // Positions below 1000, nearly all of them, are written in one piece.
        if (position >= 0 && position < 1000) {
            const auto n = static_cast<int>(position);
            char* const p = out_reserve(out, 5).data();
            p[0] = '[';
            p[1] = n >= 100 ? static_cast<char>('0' + n / 100) : ' ';
            p[2] = n >= 10 ? static_cast<char>('0' + n / 10 % 10) : ' ';
            p[3] = static_cast<char>('0' + n % 10);
            p[4] = ']';
            out_commit(out, 5);
            continue;
        }
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

void open_standard_streams(text_output& out, text_output& err)
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    out_init_file(out, stdout);
    out_init_file(err, stderr);
}
