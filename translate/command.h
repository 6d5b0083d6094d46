#pragma once
// What kx_text's commands share: how they report, load the game file and open an output.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "format/game_file.h"
#include "io/output.h"
#include "io/output_file.h"

// Writes "ERROR: message" and a line end.
void report(text_output& err, std::string_view message);

// "can't read PATH: no such file" and the like, for a failure to open or read an input
// file (cant_open, cant_seek, cant_read); the message of `s` otherwise.
std::string read_failure_text(const status& s, const std::string& path);

// "can't write PATH: disk full" and the like; without a reason when none is known.
std::string write_failure_text(const std::string& path, const sys_reason& reason);

// Loads the game file of a command; false after reporting why not.
bool load(const std::string& path, std::optional<file_kind> kind, game_file& file, text_output& err);

// Reads the character table at `path` for `file` into `table` (an empty path: none);
// false after reporting why not.
bool load_table(const std::string& path, const game_file& file, char_table& table, text_output& err);

// "1 string", "2 strings".
std::string counted(std::uint64_t n, std::string_view noun);

std::string base_name(const std::string& path);

// Opens the output file of a command whose inputs are `inputs`; false after reporting
// why it cannot be written.
bool open_output(const std::string& path, std::span<const std::string> inputs, output_file& target, text_output& err);

// `text` for a message: bytes that are not UTF-8 and control characters as \xHH.
std::string shown_text(std::string_view text);
