#pragma once
// Files from readable source texts, for the examples, the test cases and the fuzz
// seeds. A source is a list of lines; '#' lines and empty lines are skipped:
//   [section 8]    (archives) the following blocks belong to section 8 (layout A) or 43 (layout B)
//   [block 1001]   a new block with that id (layout B stores none)
//   "text"         one string of the current block, in the text notation, quoted as
//                  in a PO file ("\n" is the game's line break, "" the empty string)
// Every other archive section up to 43 gets four filler bytes. A pack's Huffman tree is
// built from the byte counts of its texts, one end mark per text. The files are laid
// out by the product's own writers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Each returns true with `out` filled, or false with `error` naming the line.
bool archive_from_source(std::string_view source, std::vector<std::uint8_t>& out, std::string& error);
bool pack_from_source(std::string_view source, bool huffman, std::vector<std::uint8_t>& out, std::string& error);

// Reads the three example sources in `dir` (kestra.txt, strings_pak.txt, xor_pak.txt)
// and writes KESTRA, STRINGS.PAK and XOR.PAK into `out_dir`.
bool write_examples(const std::string& dir, const std::string& out_dir, std::string& error);

// Whole files, read and written as bytes.
bool read_file(const std::string& path, std::string& bytes);
bool write_file(const std::string& path, std::string_view bytes);
