#pragma once
// Character tables in the "HEX=text" form that hex editors and fan-translation tools
// share: one line per code, the code's bytes as stored in hexadecimal, "=", and the text
// it stands for up to the line end. "*HEX" names the line break's bytes and "/HEX" the
// end of a string; blank lines and "#" lines are skipped. A table adds codes to a file's
// own encoding or overrides them, and a text may stand for several characters
// ("80=th"): a text is then stored in the fewest bytes, and bytes are shown as the text
// that is stored as them again, so that every byte string keeps exactly one text.
//
// This file holds what the forms share: the grammar, the choice of codes for a text,
// and the choice of the codes of stored bytes that are shown as their text. Which codes
// a form can hold and its whole listing are the form's (format/archive/, format/pack/).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "format/notation.h"
#include "io/output.h"
#include "io/status.h"

enum class table_line_kind { text, line_break, end };

struct char_table_entry {
    table_line_kind kind = table_line_kind::text;
    std::vector<std::uint8_t> code;
    std::string text;  // text lines: one or more characters
    std::size_t line = 0;
};

inline constexpr std::uint32_t no_table_entry = 0xFFFFFFFF;

// A table as read; an empty one means the file's own encoding alone. The lookups are
// made by read_char_table once the table is valid.
struct char_table {
    std::string name; // the file as given, for messages
    std::vector<char_table_entry> entries;
    std::unordered_map<std::string, std::uint32_t> by_code;      // code bytes: entry
    std::unordered_map<std::uint64_t, std::uint32_t> text_edges; // node << 8 | byte: node
    std::vector<std::uint32_t> node_entry;                        // the entry whose text ends at a node
    std::size_t longest = 0;                                      // bytes of the longest text
};

// Reads the lines of a table into `table.entries`, up to the first line that breaks the
// grammar (the failure, with its line): not UTF-8, not one of the line forms, a code
// that is not hexadecimal bytes, a text that is empty or holds a brace or a control
// character, or a code given a second time.
status parse_char_table(std::string_view bytes, char_table& table);

// A failure of a table line that the form refuses: `code` with its bytes and `line`.
status table_fault(failure code, const char_table_entry& entry);

// The earlier of the grammar's failure and the form's (by line), or, when neither
// failed, the lookups made.
status finish_char_table(const status& grammar, const status& form, char_table& table);

// Appends "HEX=text" for the code and character `c`, and the line-break and end lines.
void write_table_line(text_output& out, std::span<const std::uint8_t> code, char32_t c);
void write_table_ends(text_output& out, std::span<const std::uint8_t> line_break, std::uint8_t end);

// Encoding: chooses the codes of the runs of characters in `units` (read from `text`,
// each character unit holding the code of the file's own encoding, or none) as the
// fewest bytes among the table's texts and single characters, a table code winning over
// the file's own for the same character; ties go to the longer text. Units that one
// table text covers become one unit. A character that no choice covers keeps no code.
void apply_char_table(const char_table& table, std::string_view text, std::vector<text_unit>& units);

// Decoding, in three steps: the form adds each code of the stored bytes in order
// (add_table_code, with the character its own encoding shows it as, or 0); reads
// `decoding.text` into `decoding.units` with the codes of its own encoding; and
// table_decoded_text writes the text, each code as its text where the encoding of the
// whole text stores it as that code again, else as an escape.
enum class table_code_kind { text, escape, line_break };
struct table_code {
    table_code_kind kind;
    std::size_t byte_at, length;       // in the stored bytes
    std::size_t text_at, text_end;     // its text in decoding.text
};
struct table_decoding {
    std::vector<table_code> codes;
    std::string text; // every code's text, one after the other
    std::vector<text_unit> units;
};
void add_table_code(const char_table& table, std::span<const std::uint8_t> bytes, std::size_t at, std::size_t length,
                    bool line_break, char32_t own, table_decoding& decoding);
void table_decoded_text(const char_table& table, std::span<const std::uint8_t> bytes, table_decoding& decoding,
                        std::string& text);
