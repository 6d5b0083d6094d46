#include "cli/frame.h"

#include "cli/args.h"

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
    options.file_name = tool.default_file;
    bool have_file = false;
    arg_reader args{argc, argv};
    std::string_view arg;
    while (next_arg(args, arg)) {
        if (!is_option(arg)) {
            if (have_file) { // one file at most
                report_argument(err, "ERROR: illegal parameter '", arg);
                return -1;
            }
            options.file_name = arg;
            have_file = true;
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
    return 0;
}

// The dump's framing of a failure's message: "ERROR: " and a line end. A string that
// fails has printed part of its text, so decoding failures start on a line of their
// own; the node messages end without a line feed.
static void report_failure(text_output& out, const status& s, std::string_view path)
{
    if (!failed(s))
        return;
    if (s.code == failure::out_of_buffer || s.code == failure::decode_overrun)
        out_byte(out, '\n');
    out_text(out, "ERROR: ");
    out_text(out, failure_text(s, path));
    if (s.code != failure::left_null && s.code != failure::right_null)
        out_byte(out, '\n');
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


void open_standard_streams(text_output& out, text_output& err)
{
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    out_init_file(out, stdout);
    out_init_file(err, stderr);
}
