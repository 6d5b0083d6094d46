#pragma once
// Runs kxps_strings, kx_strings or kx_text in this process: `args` as its command line,
// the tool's name first, with both outputs kept in memory.
#include <string>
#include <vector>

#include "cli/dumpers.h"
#include "cli/text_tool.h"

struct tool_run {
    int status = -1;
    std::string out, err;
};

inline tool_run run_tool_in_process(const std::vector<std::string>& args)
{
    text_output out, err;
    out_init_memory(out);
    out_init_memory(err);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    const auto tool = args[0] == "kx_text" ? run_kx_text : args[0] == "kx_strings" ? run_kx_strings : run_kxps_strings;
    const int status = tool(static_cast<int>(argv.size()), argv.data(), out, err);
    out_finish(out);
    out_finish(err);
    return {status, out.kept, err.kept};
}
