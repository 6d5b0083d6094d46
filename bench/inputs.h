#pragma once
// Large, realistic inputs for the speed measurements, laid out by the formats' own
// writers: strings of 10 to 80 characters drawn from a Zipf-distributed vocabulary,
// some of them with a line break, in blocks of up to 1000 strings.
#include <cstdint>
#include <string>
#include <vector>

// A Huffman-coded pack of about `text_bytes` bytes of English-like text.
bool make_huffman_pack(std::uint64_t text_bytes, std::uint64_t seed, std::vector<std::uint8_t>& out,
                       std::string& error);

// An exclusive-or chained pack of about `text_bytes` bytes of Japanese Shift-JIS text.
bool make_xor_pack(std::uint64_t text_bytes, std::uint64_t seed, std::vector<std::uint8_t>& out, std::string& error);

// An archive whose sections 8 and 43 hold about `text_bytes` bytes of game text each.
bool make_archive(std::uint64_t text_bytes, std::uint64_t seed, std::vector<std::uint8_t>& out, std::string& error);

// Hostile inputs whose directories cost the most to check: 65535 blocks that all name
// one list of 65535 strings, or whose lists of 4112 strings overlap, one word apart.
// Every offset is valid and the first string fails, so the dump is one error line (the
// archive's after the text of its first string).
void make_shared_lists(bool archive, std::vector<std::uint8_t>& out);
void make_overlapping_lists(bool archive, std::vector<std::uint8_t>& out);
