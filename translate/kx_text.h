#pragma once
// kx_text's commands: every string of an archive or a pack exported to a gettext PO
// file for translation, the file rebuilt from the translated PO, and the character
// table of the file's encoding. They work through
// the format layer (format/game_file.h) and never ask which kind a file is.
#include <optional>
#include <string>

#include "format/game_file.h"
#include "io/output.h"
#include "translate/check.h"

struct export_request {
    std::string file;
    std::optional<file_kind> kind; // none: whichever kind the file is
    std::string output;            // empty or "-": the PO goes to `out`
    std::string language;          // a language tag, or empty
    bool as_template = false;      // a template (also for an output named *.pot)
    bool force = false;            // replace an output that holds translations
    std::string table;             // a character table to export with; empty: none
};

// An import, or a check (`output`: where check --wrap writes the PO, "-" for `out`).
struct import_request {
    std::string file;
    std::string po; // "-": standard input
    std::string output;
    std::optional<file_kind> kind;
    check_options options;
    std::string table;             // a character table; empty: none
};

struct table_request {
    std::string file;
    std::optional<file_kind> kind;
    std::string output; // empty or "-": the table goes to `out`
};

// Each writes its messages and summary to `err` and returns the exit status, 0 or 1.
int export_po(const export_request& request, text_output& out, text_output& err);
int import_po(const import_request& request, text_output& err);
// check's report goes to `out` (to `err` when the wrapped PO goes to `out`).
int check_command(const import_request& request, text_output& out, text_output& err);
// Writes the character table of the file's encoding (write_char_table).
int table_command(const table_request& request, text_output& out, text_output& err);
