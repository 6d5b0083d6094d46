#pragma once
// The kx_strings tests run the real binary on files written byte for byte; each case
// is one row: name, file bytes, arguments, expected standard output, standard error
// and exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/pack_builder.h"
#include "tests/support/run_tool.h"

namespace kx_pack_test {

inline const std::string kx_strings = KX_STRINGS_PATH;
inline const std::string done = "COMPLETED!\n";
inline const std::string indent13(13, ' '), indent23(23, ' ');
inline const std::vector<std::string> normal = {"T.PAK"}, verbose = {"-V", "T.PAK"};

struct pack_case {
    std::string name;
    pack_bytes input; // written as T.PAK into the run's fresh working directory
    std::vector<std::string> args;
    std::string out; // "..." first: only the end of standard output is compared
    std::string err;
    int status;
};

inline tool_run run_on(const pack_bytes& input, const std::vector<std::string>& args)
{
    scratch_dir dir;
    dir.write("T.PAK", input);
    return run_tool(kx_strings, args, dir.path);
}

inline void run_cases(const std::vector<pack_case>& cases)
{
    for (const pack_case& c : cases) {
        SCOPED_TRACE(c.name);
        const tool_run run = run_on(c.input, c.args);
        if (c.out.starts_with("...")) {
            EXPECT_TRUE(run.out.ends_with(c.out.substr(3))) << run.out;
        } else {
            EXPECT_EQ(run.out, c.out);
        }
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.status, c.status);
    }
}

inline std::string hex8(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace kx_pack_test
