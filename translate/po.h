#pragma once
// gettext PO files, as translators' tools read and write them. An entry is
//   #. extracted comment
//   #: references: where the text is, FILE:PLACE, blank-separated
//   #, flags (fuzzy: not to be used yet)
//   msgctxt "..."   what tells entries with the same msgid apart
//   msgid "..."     the source text
//   msgstr "..."    its translation, empty when untranslated
// with strings C-quoted and split over any number of quoted lines; the entry whose
// msgid is empty and which has no msgctxt is the header. "#~" lines are obsolete
// entries and "#|" lines previous msgids; readers skip both.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/output.h"

// The header: the fields of its msgstr, each ending in a line feed; a template's header
// is marked fuzzy, as xgettext marks it.
void write_po_header(text_output& out, std::string_view fields, bool fuzzy);

// One entry: an extracted comment, a reference, the context, the source text, an empty
// translation. Texts holding line feeds are split after each, as xgettext does.
void write_po_entry(text_output& out, std::string_view comment, std::string_view reference, std::string_view context,
                    std::string_view msgid);

// One reference of a "#:" line: FILE:PLACE. The place is the part after the first colon
// that only digits and colons follow ("KESTRA:8:0:1": KESTRA and 8:0:1; empty for a
// reference without one); a file name that gettext set between U+2068 and U+2069
// (because it holds blanks) is taken without them.
struct po_reference {
    std::string file, place;
    std::size_t line = 0; // of its "#:" line
};

// The references of a "#:" line (the line with or without "#:"), appended to `into`.
void parse_po_references(std::string_view line, std::size_t number, std::vector<po_reference>& into);

struct po_entry {
    std::size_t line = 0, column = 0; // of the msgctxt or msgid that opens the entry
    std::size_t msgstr_line = 0;
    std::size_t msgstr_begin = 0, msgstr_end = 0; // the msgstr's lines: from its keyword to its last line end
    bool has_context = false;
    bool fuzzy = false;
    bool plural = false;         // msgid_plural or msgstr[n]
    std::string context, msgid, msgstr;
    std::vector<po_reference> references; // in the order of the file
};

// A PO file read: its entries (the header among them), the number of its obsolete (#~)
// entries, or the place and reason of its first syntax fault. Byte positions
// (msgstr_begin, msgstr_end) count from the start of the text given to read_po.
struct po_contents {
    std::vector<po_entry> entries;
    std::size_t obsolete = 0;
    std::size_t error_line = 0, error_column = 0; // 1-based, the column in characters
    std::string error;
};

// Reads a PO file in any wrapping and order. Returns false on a syntax fault.
bool read_po(std::string_view text, po_contents& po);

// The same an entry at a time, holding one entry: po_start, then po_next_entry until it
// returns false, at the end of the text or at a syntax fault (reader.po.error set).
// reader.po counts the obsolete entries read so far; its `entries` stay empty.
enum class po_field { none, context, msgid, plural, msgstr };
struct po_reader {
    po_contents po;
    std::string_view rest; // the lines not yet read
    std::size_t at = 0, number = 0;
    bool failed = false, ended = false;
    po_entry entry; // the entry being read
    bool has_msgid = false;
    bool has_msgstr = false;
    bool pending_fuzzy = false;
    std::vector<po_reference> pending_references;
    po_field field = po_field::none;
    std::string ignored; // the text of plural fields
    po_entry finished;   // the entry read last, when `ready`
    bool ready = false;
};
bool po_start(std::string_view text, po_reader& reader);
bool po_next_entry(po_reader& reader, po_entry& entry);

// The line and column (1-based, in characters) in `text`, the PO file given to read_po,
// of byte `at` of an entry's msgstr: where the character written there starts. A cursor
// walks the msgstr's lines once for places asked in increasing order.
struct po_place {
    std::size_t line = 0, column = 0;
};
struct msgstr_cursor {
    std::string_view rest, line;   // the lines not yet read, the current one
    std::size_t offset = 0, number = 0, line_column = 1;
    std::size_t quote = 0;         // the next quoted string of `line`
    std::size_t p = 0, column = 0; // the next byte of the current string, its column
    std::size_t left = 0;          // the bytes of the current string not yet passed
    std::size_t done = 0;          // the msgstr bytes passed
    po_place last;                 // the closing quote of the last string
};
msgstr_cursor msgstr_start(std::string_view text, const po_entry& entry);
po_place msgstr_place(msgstr_cursor& cursor, std::size_t at);

// The column (1-based, in characters) of byte `at` of a line.
std::size_t column_of(std::string_view line, std::size_t at);

// Writes a msgstr as write_po_entry does.
void write_po_msgstr(text_output& out, std::string_view msgstr);

// Whether the PO `text` holds a translation: a non-empty msgstr of an entry other than
// the header, fuzzy and obsolete ("#~") entries included. Returns false with `error`
// when the text, or the text of its obsolete entries, does not read as a PO.
bool po_translated(std::string_view text, bool& translated, std::string& error);

// The value of header field `name` ("Content-Type"), or an empty view.
std::string_view po_header_field(std::string_view header, std::string_view name);
