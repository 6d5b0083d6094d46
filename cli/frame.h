#pragma once
// The front end that both dumpers share: command line, usage, the end of a run, and
// the head of a dump line.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "io/output.h"
#include "io/status.h"

struct tool_identity {
    std::string_view default_file; // taken when no file name is given
    std::string_view usage_line;    // first line of the usage text
};

struct tool_options {
    std::string file_name;
    // One for every -V/--verbose. Trace lines and the verbose forms of the dump appear
    // whenever it is non-zero; a higher count changes nothing further.
    int verbose_level = 0;
};

// Writes the three usage lines to `err`.
void print_usage(const tool_identity& tool, text_output& err);

// Reads the arguments after the program name. Returns 0 with `options` filled (the
// file name given or the default), or -1 after help or a command-line error, whose
// text has been written to `err`; the tool then exits with status 1.
int parse_command_line(int argc, const char* const* argv, const tool_identity& tool,
                       text_output& err, tool_options& options);

// Ends a run whose pipeline returned `result`: reports its failure to `out` (naming
// `path`), flushes the dump (a failed write of it is a failure of its own) and writes
// "COMPLETED!" after a success. Returns the exit status, 0 or 1.
int finish_run(const status& result, std::string_view path, text_output& out, text_output& err);

// Sets up the two writers of a tool's main function on standard output and standard
// error. On Windows both streams are first switched to binary mode, so that every byte
// is written as it is: in text mode the C runtime writes each 0x0A, a line feed inside
// a string too, as CR LF. The output is then the same bytes on every platform.
void open_standard_streams(text_output& out, text_output& err);
