// kx_cases CASE_FILE...: runs case files (tests/cases), each holding input files, runs
// of the tools, and the exact standard output, standard error and exit status of each
// run. Prints every difference; exits with 1 when there is any.
//
//   # a comment                 (at the start of a line)
//   in-process                  the runs call the tools' entry points in this process
//   no-address-sanitizer        the runs limit the address space, which AddressSanitizer's
//                               shadow memory does not fit in: skipped in such builds
//   file NAME hex               the file's bytes in hexadecimal on the indented lines
//   file NAME archive           an archive or pack from a source text on the indented
//   file NAME pack huffman|xor  lines (tests/support/sources.h)
//   file NAME text              the concatenated quoted strings on the indented lines
//   file NAME sections          an archive (index of 45 entries, no alignment, no trailer)
//                               of sections 0 to 43: indented lines "[section N]", each
//                               followed by that section's bytes in hexadecimal (on the
//                               same line and the lines after it); sections not given
//                               are empty
//   file NAME copy PATH         a copy of PATH, relative to the case file
//   run TOOL ARG...             arguments are words or quoted strings
//   sh COMMAND                  POSIX shell commands, this line and the indented lines
//                               after it; $kx_strings etc. name the tools
//   stdout "..."                the exact output: quoted strings on this line and the
//   stderr "..."                indented lines after it, concatenated
//   stdout-has "..."            the output holds this text (quoted strings as for
//   stderr-has "..."            stdout); several for one stream match in their order,
//                               without overlapping
//   stdout-file PATH            the exact output in a file, relative to the case file
//   status N                    the exit status
//   same NAME NAME              two files in the run's folder have the same bytes
//
// Every run names its status; a stream with neither an exact output nor -has lines is
// not checked. Runs share one fresh folder,
// their working directory, in which the files are written. Files with sh runs are
// skipped on Windows. There the runs go through cmd, each word in double quotes, so a
// word may not hold a double quote or a percent sign; the tools write both standard
// streams in binary mode, so the expected bytes are the same as elsewhere.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>

#include "common/notation.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

struct case_step {
    enum { file, run, sh, same } kind;
    int line;
    std::vector<std::string> words; // file: name and kind; run: tool and arguments; same: two names
    std::string body;               // file: its bytes; sh: the command
    std::string out, err;
    std::vector<std::string> out_has, err_has;
    int status = 0;
    int expected = 0; // which of stdout, stderr, status were given: bits 1, 2, 4
};

struct case_script {
    bool in_process = false;
    bool posix_only = false;
    bool no_address_sanitizer = false;
    std::vector<case_step> steps;
};

std::string trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \t\r");
    const std::size_t last = s.find_last_not_of(" \t\r");
    return first == std::string_view::npos ? "" : std::string(s.substr(first, last - first + 1));
}

// Words and quoted strings, appended to `words`.
bool read_words(std::string_view text, std::vector<std::string>& words)
{
    std::size_t at = 0;
    while (at < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        } else if (text[at] == '"') {
            if (!read_quoted(text, at, words.emplace_back()))
                return false;
        } else {
            const std::size_t end = std::min(text.find_first_of(" \t\n", at), text.size());
            words.emplace_back(text.substr(at, end - at));
            at = end;
        }
    }
    return true;
}

bool hex_bytes(std::string_view text, std::string& bytes)
{
    std::string digits;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '#')
            at = std::min(text.find('\n', at), text.size());
        else if (std::isxdigit(static_cast<unsigned char>(text[at])))
            digits += text[at];
        else if (!std::isspace(static_cast<unsigned char>(text[at])))
            return false;
    }
    if (digits.size() % 2 != 0)
        return false;
    for (std::size_t k = 0; k < digits.size(); k += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(k, 2), nullptr, 16));
    return true;
}

// The bytes of a file step from its kind and its indented lines.
bool file_bytes(case_step& step, const fs::path& case_path, const std::string& lines, std::string& error)
{
    const std::string kind = step.words.size() > 1 ? step.words[1] : "";
    if (kind == "copy" && step.words.size() == 3)
        return read_file((case_path.parent_path() / step.words[2]).string(), step.body) || (error = "can't read", false);
    std::vector<std::uint8_t> built;
    bool made = false;
    if (kind == "hex")
        return hex_bytes(lines, step.body) || (error = "bad hexadecimal", false);
    if (kind == "text") {
        std::vector<std::string> parts;
        if (!read_words(lines, parts))
            return error = "bad quoted string", false;
        for (const std::string& part : parts)
            step.body += part;
        return true;
    }
    if (kind == "sections") {
        std::vector<std::vector<std::uint8_t>> sections(44);
        std::size_t n = 44;
        for (std::size_t at = 0, nl; at < lines.size(); at = nl + 1) {
            nl = std::min(lines.find('\n', at), lines.size());
            std::string line = lines.substr(at, nl - at), bytes;
            if (line.starts_with("[section ")) {
                n = std::stoul(line.substr(9));
                line.erase(0, line.find(']') + 1);
            }
            if (!hex_bytes(line, bytes) || (n >= 44 && !bytes.empty()))
                return error = "bad section number or hexadecimal", false;
            if (n < 44)
                sections[n].insert(sections[n].end(), bytes.begin(), bytes.end());
        }
        made = !failed(write_archive(sections, 1, {}, built));
    } else if (kind == "archive")
        made = archive_from_source(lines, built, error);
    else if (kind == "pack" && step.words.size() == 3)
        made = pack_from_source(lines, step.words[2] == "huffman", built, error);
    else
        error = "unknown file kind";
    step.body.assign(built.begin(), built.end());
    return made;
}

bool parse_case(const fs::path& path, case_script& script, std::string& error)
{
    std::string text;
    if (!read_file(path.string(), text))
        return error = "can't read", false;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t nl = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.empty() || line[0] == '#')
            continue;
        std::string body; // the indented lines that follow
        while (n + 1 < lines.size() && !lines[n + 1].empty() && (lines[n + 1][0] == ' ' || lines[n + 1][0] == '\t'))
            body += trim(lines[++n]) + "\n";
        error = "line " + std::to_string(n + 1) + ": ";
        const std::size_t space = std::min(line.find(' '), line.size());
        const std::string word = line.substr(0, space);
        const std::string rest = trim(line.substr(space));
        if (word == "in-process" || word == "no-address-sanitizer") {
            (word == "in-process" ? script.in_process : script.no_address_sanitizer) = true;
            continue;
        }
        if (word == "file" || word == "run" || word == "sh" || word == "same") {
            case_step& step = script.steps.emplace_back();
            step.line = static_cast<int>(n + 1);
            step.kind = word == "file" ? case_step::file : word == "run" ? case_step::run
                      : word == "sh"   ? case_step::sh   : case_step::same;
            if (step.kind == case_step::sh) {
                step.body = rest + "\n" + body;
                script.posix_only = true;
            } else if (!read_words(rest, step.words)) {
                return error += "bad quoted string", false;
            }
            const std::string tool = step.kind == case_step::run && !step.words.empty() ? step.words[0] : "";
            if (step.kind == case_step::run && tool != "kxps_strings" && tool != "kx_strings" && tool != "kx_text")
                return error += "a run names no tool", false;
            if (step.kind == case_step::file && !file_bytes(step, path, body, error))
                return error = "line " + std::to_string(step.line) + ": " + error, false;
            continue;
        }
        if (script.steps.empty() || script.steps.back().kind == case_step::file || script.steps.back().kind == case_step::same)
            return error += "'" + word + "' without a run before it", false;
        case_step& run = script.steps.back();
        std::vector<std::string> parts;
        if (word == "status") {
            run.status = std::stoi(rest);
            run.expected |= 4;
        } else if (word == "stdout-file") {
            if (!read_file((path.parent_path() / rest).string(), run.out))
                return error += "can't read " + rest, false;
            run.expected |= 1;
        } else if ((word == "stdout" || word == "stderr" || word == "stdout-has" || word == "stderr-has")
                   && read_words(rest + " " + body, parts)) {
            const bool out = word.starts_with("stdout");
            if (!word.ends_with("-has"))
                run.expected |= out ? 1 : 2;
            std::string& into = !word.ends_with("-has") ? (out ? run.out : run.err)
                                                        : (out ? run.out_has : run.err_has).emplace_back();
            for (const std::string& part : parts)
                into += part;
        } else {
            return error += "unknown directive or bad quoted string: " + word, false;
        }
    }
    for (const case_step& step : script.steps)
        if ((step.kind == case_step::run || step.kind == case_step::sh) && !(step.expected & 4))
            return error = "line " + std::to_string(step.line) + ": a run needs a status", false;
    return true;
}

std::string tool_path(const std::string& tool)
{
    return std::string(KX_TOOL_DIR) + "/" + tool + KX_EXE_SUFFIX;
}

// A word for the command interpreter: in single quotes for the POSIX shell, in double
// quotes for Windows' cmd.
std::string shell_word(const std::string& word)
{
#if defined(_WIN32)
    return "\"" + word + "\"";
#else
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

tool_run run_process(const case_step& step)
{
    std::string command;
    if (step.kind == case_step::sh) {
        command = step.body;
        for (const char* tool : {"kxps_strings", "kx_strings", "kx_text"})
            for (std::size_t at; (at = command.find(std::string("$") + tool)) != std::string::npos;)
                command.replace(at, std::strlen(tool) + 1, shell_word(tool_path(tool)));
        command = "( " + command + " )";
    } else {
        command = shell_word(tool_path(step.words[0]));
        for (std::size_t k = 1; k < step.words.size(); ++k)
            command += " " + shell_word(step.words[k]);
    }
#if defined(_WIN32)
    command = "\"" + command + " <NUL >.stdout 2>.stderr\""; // cmd drops the outer quotes
#else
    command += " </dev/null >.stdout 2>.stderr";
#endif
    tool_run r;
    const int raw = std::system(command.c_str());
#if defined(_WIN32)
    r.status = raw;
#else
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    read_file(".stdout", r.out);
    read_file(".stderr", r.err);
    return r;
}

// The first difference of two outputs, with a little context, quoted.
std::string first_difference(const std::string& expected, const std::string& actual)
{
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    const std::size_t from = at > 40 ? at - 40 : 0;
    std::string shown = "at byte " + std::to_string(at) + "\n  expected ";
    append_quoted(shown, expected.substr(from, 80));
    shown += "\n  actual   ";
    append_quoted(shown, actual.substr(from, 80));
    return shown;
}

// A fresh folder, the working directory while it lives.
struct scratch_folder {
    fs::path previous = fs::current_path();
    fs::path path = fs::temp_directory_path() / ("kx_case_" + std::to_string(std::random_device{}()));
    scratch_folder()
    {
        fs::create_directories(path);
        fs::current_path(path);
    }
    ~scratch_folder()
    {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
};

// Runs one case file; returns the number of differences, each printed.
int run_case(const fs::path& path)
{
    case_script script;
    std::string error;
    if (!parse_case(path, script, error)) {
        std::cout << path.string() << ": " << error << "\n";
        return 1;
    }
#if defined(_WIN32)
    if (script.posix_only) {
        std::cout << path.string() << ": skipped, it runs a POSIX shell\n";
        return 0;
    }
#endif
#if defined(__SANITIZE_ADDRESS__)
    constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
    constexpr bool address_sanitizer = __has_feature(address_sanitizer);
#else
    constexpr bool address_sanitizer = false;
#endif
    if (script.no_address_sanitizer && address_sanitizer) {
        std::cout << path.string() << ": skipped, it limits the address space\n";
        return 0;
    }
    int differences = 0;
    const auto differ = [&](const case_step& step, const std::string& what) {
        std::cout << path.string() << ":" << step.line << ": " << what << "\n";
        ++differences;
    };
    const scratch_folder folder;
    for (const case_step& step : script.steps) {
        if (step.kind == case_step::file) {
            if (!write_file(step.words[0], step.body))
                differ(step, "can't write " + step.words[0]);
            continue;
        }
        if (step.kind == case_step::same) {
            std::string a, b;
            if (step.words.size() != 2 || !read_file(step.words[0], a) || !read_file(step.words[1], b) || a != b)
                differ(step, "the files differ");
            continue;
        }
        const tool_run r = script.in_process && step.kind == case_step::run ? run_tool_in_process(step.words) : run_process(step);
        if ((step.expected & 1) && r.out != step.out)
            differ(step, "stdout " + first_difference(step.out, r.out));
        if ((step.expected & 2) && r.err != step.err)
            differ(step, "stderr " + first_difference(step.err, r.err));
        for (int k = 0; k < 2; ++k) {
            const std::string& actual = k == 0 ? r.out : r.err;
            std::size_t at = 0;
            for (const std::string& part : k == 0 ? step.out_has : step.err_has) {
                const std::size_t found = actual.find(part, at);
                if (found == std::string::npos) {
                    std::string shown = k == 0 ? "stdout lacks " : "stderr lacks ";
                    append_quoted(shown, part);
                    shown += (at > 0 ? " after byte " + std::to_string(at) : "") + "\n  actual   ";
                    append_quoted(shown, actual.substr(0, 400));
                    differ(step, shown);
                    break;
                }
                at = found + part.size();
            }
        }
        if (r.status != step.status)
            differ(step, "exit status " + std::to_string(r.status) + ", expected " + std::to_string(step.status));
    }
    return differences;
}

} // namespace

int main(int argc, char** argv)
{
    int differences = 0;
    for (int k = 1; k < argc; ++k)
        differences += run_case(fs::absolute(argv[k]));
    return differences == 0 ? 0 : 1;
}
