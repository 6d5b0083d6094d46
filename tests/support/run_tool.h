#pragma once
// Runs a tool binary as a child process and collects everything it wrote.
#include <cstdint>
#include <string>
#include <vector>

struct tool_run {
    std::string out;   // standard output, byte for byte
    std::string err;   // standard error
    int status = -1;   // exit status, or -1 when the process did not exit normally
};

// Runs `binary` with `args` (not including the program name) in directory `cwd`
// (empty: the current one). `stdout_path`, when given, is opened for writing as the
// child's standard output instead of a pipe ("-" closes standard output instead).
tool_run run_tool(const std::string& binary, const std::vector<std::string>& args,
                  const std::string& cwd = "", const std::string& stdout_path = "");

// The same with the child's surroundings spelled out.
struct tool_options {
    std::string cwd;                        // as above
    std::string stdout_path;                // as above
    bool stdin_pipe = false;                // standard input an empty pipe, not /dev/null
    std::uint64_t address_space_limit = 0;  // the child's RLIMIT_AS in bytes; 0: inherited
};
tool_run run_tool(const std::string& binary, const std::vector<std::string>& args,
                  const tool_options& options);

// Whether this build uses AddressSanitizer (the tools are built with the same flags as
// the tests). Its shadow memory needs a huge address space, so tests that run a tool
// under a lowered address-space limit are skipped then.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool built_with_address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool built_with_address_sanitizer = true;
#else
inline constexpr bool built_with_address_sanitizer = false;
#endif
#else
inline constexpr bool built_with_address_sanitizer = false;
#endif

// A fresh empty directory for one test, removed with its contents on destruction.
struct scratch_dir {
    std::string path;
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    // Writes `bytes` to the file `name` inside the directory; returns its full path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
};
