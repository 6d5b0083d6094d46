#pragma once
// kx_text's commands: every string of an archive or a pack exported to a gettext PO
// file for translation, the file rebuilt from the translated PO, and the character
// table of the file's encoding. They work through
// the format layer (format/game_file.h) and never ask which kind a file is.
#include <optional>
#include <string>

#include "format/game_file.h"
#include "io/output.h"

struct export_request {
    std::string file;
    std::optional<file_kind> kind; // none: whichever kind the file is
    std::string output;            // empty: the PO goes to `out`
    std::string language;
    std::string table;             // a character table to export with; empty: none
};

struct import_request {
    std::string file;
    std::string po;
    std::string output;
    std::optional<file_kind> kind;
    std::string table;
};

struct table_request {
    std::string file;
    std::optional<file_kind> kind;
    std::string output; // empty or "-": the table goes to `out`
};

// Each writes its messages and summary to `err` and returns the exit status, 0 or 1.
int export_po(const export_request& request, text_output& out, text_output& err);
int import_po(const import_request& request, text_output& err);
// Writes the character table of the file's encoding (write_char_table).
int table_command(const table_request& request, text_output& out, text_output& err);
