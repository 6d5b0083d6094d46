#pragma once
// Running kxps_strings on archives built in the test.
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"
#include "tests/support/run_tool.h"

inline tool_run run_kxps(const std::vector<std::string>& args, const std::string& cwd = "",
                         const std::string& stdout_path = "")
{
    return run_tool(KXPS_STRINGS_PATH, args, cwd, stdout_path);
}

// An archive of 44 sections in which only sections 8 and 43 hold anything.
inline byte_string archive_with(const byte_string& section8, const byte_string& section43)
{
    std::vector<byte_string> sections(44);
    sections[8] = section8;
    sections[43] = section43;
    return build_archive(sections);
}

// Section 8 with one layout A block of `strings`, section 43 empty.
inline byte_string archive_of_strings(const std::vector<byte_string>& strings)
{
    return archive_with(build_section_with_ids({{7, strings}}), build_section_nested({}));
}

// Runs kxps_strings (with `options` in front) on `archive` written to a scratch file.
inline tool_run dump_archive_bytes(const byte_string& archive, std::vector<std::string> options = {})
{
    scratch_dir dir;
    options.push_back(dir.write("ARC", archive));
    return run_kxps(options);
}
