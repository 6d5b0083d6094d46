#pragma once
// gettext PO files, as translators' tools read and write them. An entry is
//   #. extracted comment
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

// The header: the fields of its msgstr, each ending in a line feed.
void write_po_header(text_output& out, std::string_view fields);

// One entry: an extracted comment, the context, the source text, an empty translation.
// Texts holding line feeds are split after each, as xgettext does.
void write_po_entry(text_output& out, std::string_view comment, std::string_view context, std::string_view msgid);

struct po_entry {
    std::size_t line = 0;        // of the msgctxt or msgid that opens the entry
    std::size_t msgstr_line = 0;
    bool has_context = false;
    bool fuzzy = false;
    bool plural = false;         // msgid_plural or msgstr[n]
    std::string context, msgid, msgstr;
};

// Reads the entries of a PO file in any wrapping and order (the header among them).
// Returns false with `error` ("line N: ...") on a syntax fault.
bool read_po(std::string_view text, std::vector<po_entry>& entries, std::string& error);

// The value of header field `name` ("Content-Type"), or an empty view.
std::string_view po_header_field(std::string_view header, std::string_view name);
