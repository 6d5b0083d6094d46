#pragma once
// The one reader of a command line under both front ends: the arguments after the
// program name, one at a time, and the value that follows an option.
#include <string_view>

struct arg_reader {
    int argc;
    const char* const* argv;
    int next = 1;
};

// The next argument; false when none is left.
inline bool next_arg(arg_reader& args, std::string_view& arg)
{
    if (args.next >= args.argc)
        return false;
    arg = args.argv[args.next++];
    return true;
}

// Whether an argument is an option: it starts with '-' ("-" alone included).
inline bool is_option(std::string_view arg) { return !arg.empty() && arg[0] == '-'; }
