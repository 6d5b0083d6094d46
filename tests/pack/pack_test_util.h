#pragma once
// Helpers of the kx_strings tests: run the real binary on a file written byte for
// byte, and spell out the bytes of small hand-made files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/pack_builder.h"
#include "tests/support/run_tool.h"

namespace kx_pack_test {

inline const std::string kx_strings = KX_STRINGS_PATH;
inline const std::string usage_text = "usage: kx_strings [options] [STRINGS.PAK]\n"
                                      "option: -V|--verbose        increase verbose level\n"
                                      "        -?|--help           print usage\n";

// Writes `bytes` as T.PAK into a fresh directory and runs kx_strings there with
// `options` and the name T.PAK (messages name the file as given: "T.PAK").
inline tool_run run_on(const pack_bytes& bytes, const std::vector<std::string>& options = {})
{
    scratch_dir dir;
    dir.write("T.PAK", bytes);
    std::vector<std::string> args = options;
    args.push_back("T.PAK");
    return run_tool(kx_strings, args, dir.path);
}

inline tool_run run_verbose(const pack_bytes& bytes) { return run_on(bytes, {"-V"}); }

// The outcome of a successful run: the dump, then COMPLETED! on standard error.
inline void expect_completed(const tool_run& run, const std::string& out)
{
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, "COMPLETED!\n");
    EXPECT_EQ(run.status, 0);
}

// The outcome of a failed run: everything on standard output, nothing on error.
inline void expect_failed(const tool_run& run, const std::string& out)
{
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

// Little-endian field writers for hand-made files.
inline void le16(pack_bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void le32(pack_bytes& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

inline void append(pack_bytes& out, std::initializer_list<std::uint8_t> bytes)
{
    out.insert(out.end(), bytes);
}

inline std::string text_of(std::initializer_list<std::uint8_t> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// A file with one block (id 0) of the given encoded strings, under `records`.
inline pack_bytes one_block(const std::vector<pack_record>& records, const std::vector<pack_bytes>& strings)
{
    return build_pack(records, {pack_block{0, strings}});
}

// File offset of the first string of a file built by build_pack with one block of
// `count` strings under `num_records` records.
inline std::uint32_t first_string_offset(std::size_t num_records, std::size_t count)
{
    return static_cast<std::uint32_t>(2 + 4 * num_records + 2 + 6 + 2 + 2 * count);
}

// Codes: b = 0, a = 110, end mark = 111; the bits 10 lead to the missing left
// side of record 4, whose stored left byte is `left_of_4`.
inline std::vector<pack_record> tree_with_gap(std::uint8_t left_of_4)
{
    return {
        {'b', 5, 0xFF, 0xFF}, {'a', 3, 0xFF, 0xFF}, {'|', 3, 0xFF, 0xFF},
        {0, 4, 1, 2},         {0, 5, left_of_4, 3}, {0, 0xFF, 0, 4},
    };
}

inline std::string hex8(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace kx_pack_test
