#pragma once
// kx_text's check of a translated PO against its game file: every problem of every
// entry, each at its line and column, then the rebuild in memory with its limits. check
// prints the report; import prints the same report and writes the rebuilt file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/game_file.h"
#include "io/output.h"

enum class severity { warning, error };

struct diagnostic {
    std::size_t line = 0, column = 0; // 1-based; line 0: the PO as a whole
    severity level = severity::error;
    std::string message;
};

struct check_options {
    bool strict = false;        // warnings count as errors
    std::size_t max_width = 0;  // 0: the widest line among the block's original strings
    std::size_t max_lines = 0;  // 0: the lines of the original string
    bool wrap = false;          // break too-wide lines (po_check.wrapped)
    bool read_back = true;      // parse the rebuilt file and check it string by string
};

struct entry_counts {
    std::uint64_t translated = 0, fuzzy = 0, untranslated = 0, obsolete = 0, no_string = 0, without_entry = 0;
};

// A msgstr written anew: the bytes of the PO from `begin` to `end` become `text`.
struct wrapped_msgstr {
    std::size_t begin = 0, end = 0;
    std::string text;
};

struct po_check {
    std::vector<diagnostic> problems; // in PO order
    bool unreadable = false;          // the PO has a syntax fault (the one problem)
    entry_counts counts;
    std::vector<new_text> texts;      // the translations taken, sorted by place
    std::uint64_t changed = 0;        // of those, the texts that differ from the file's
    bool rebuilt = false;             // `result` holds the rebuilt file (checked when read_back)
    rebuilt_file result;
    std::vector<wrapped_msgstr> wrapped;
};

// Checks `po`, the text of the PO file, against `file` and, without an error, rebuilds
// the file in memory and checks the result.
// `codes`: a character table, or an empty one. `release`, when given, holds the bytes of
// `po`: they are freed once the entries are read, before the rebuild.
void check_po(const game_file& file, const char_table& codes, std::string_view po, const check_options& options,
              po_check& check, std::vector<std::uint8_t>* release = nullptr);

// Whether the check found an error (or, strict, any problem).
bool check_failed(const po_check& check, bool strict);

// Writes each problem, "NAME:LINE:COLUMN: error: ...", then the summary line (none
// for an unreadable PO).
void write_report(const po_check& check, std::string_view po_name, const game_file& file, text_output& to);

// Writes the PO with each wrapped msgstr in its place.
void write_wrapped(std::string_view po, const po_check& check, text_output& to);
