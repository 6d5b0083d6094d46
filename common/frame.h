#pragma once
// The front end that both tools share: command line, usage, verbosity, the common
// file messages and the end of a run.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/output.h"

// Raised by one for every -V/--verbose. Trace lines and the verbose forms of the
// dump appear whenever it is non-zero; a higher count changes nothing further.
extern int verbose_level;

struct tool_identity {
    std::string_view default_file; // taken when no file name is given
    std::string_view usage_line;    // first line of the usage text
};

// Writes the three usage lines to `err`.
void print_usage(const tool_identity& tool, text_output& err);

// Reads the arguments after the program name. Returns 0 with `file_name` set (given
// or default), or -1 after help or a command-line error, whose text has been written
// to `err`; the tool then exits with status 1.
int parse_command_line(int argc, const char* const* argv, const tool_identity& tool,
                       text_output& err, std::string& file_name);

// Ends a run whose pipeline returned `result` (0 or -1, its message already written).
// Flushes the dump; a failed write of it is a failure of its own. Returns the exit
// status: 0 after "COMPLETED!", 1 otherwise.
int finish_run(int result, text_output& out, text_output& err);

// The head of a dump line: each position as "[%3.1d]", then, when verbose, " +" and
// `offset` in eight hexadecimal digits, then " = ". Positions count from 0 in
// directory order.
void write_line_prefix(text_output& out, std::initializer_list<std::int64_t> positions, bool verbose,
                       std::uint64_t offset);

// The file messages of both loaders; each names the file exactly as opened.
void report_cant_open(text_output& out, std::string_view path);
void report_cant_seek(text_output& out, std::string_view path);
void report_cant_read(text_output& out, std::string_view path);
void report_memory_exhausted(text_output& out);
