// kx_cases CASE_FILE...: runs case files (tests/cases), each holding input files, runs
// of the tools, and what each run must print and return. Prints every difference;
// exits with 1 when there is any.
//
//   # a comment                 (at the start of a line)
//   no-address-sanitizer        the runs limit the address space, which AddressSanitizer's
//                               shadow memory does not fit in: CMake leaves the file out
//                               of such builds
//   in-process                  accepted, without effect: every run is in this process
//   file NAME hex               the file's bytes in hexadecimal on the indented lines
//   file NAME archive           an archive or pack from a source text on the indented
//   file NAME pack huffman|xor  lines (tests/support/sources.h)
//   file NAME sections          an archive (index of 45 entries, no alignment, no trailer)
//                               of sections 0 to 43: indented lines "[section N]", each
//                               followed by that section's bytes in hexadecimal (on the
//                               same line and the lines after it); sections not given
//                               are empty
//   file NAME text              the concatenated quoted strings on the indented lines
//   file NAME copy PATH         a copy of PATH, relative to the case file
//   run TOOL ARG...             runs the tool's entry point in this process, its outputs
//                               kept in memory; arguments are words or quoted strings
//   sh COMMAND                  POSIX shell commands, this line and the indented lines
//                               after it; $kx_strings etc. name the tools' programs
//   status N                    the exit status
//   stdout "..."                the exact output: quoted strings on this line and the
//   stderr "..."                indented lines after it, concatenated
//   stdout-file PATH            the exact output in a file, relative to the case file
//   stdout-has "..."            the output holds this text (quoted strings as for
//   stderr-has "..."            stdout); several for one stream match in their order,
//                               without overlapping
//   same NAME NAME              two files in the run's folder have the same bytes
//
// Every run names its status; a stream with neither an exact output nor -has lines is
// not checked. Runs share one fresh folder, their working directory, in which the files
// are written. CMake leaves files with sh runs out of Windows builds.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>

#include "format/archive/archive.h"
#include "format/notation.h"
#include "tests/support/run_tool.h"
#include "tests/support/sources.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

struct case_step {
    std::string kind; // file, run, sh or same
    int line = 0;
    std::vector<std::string> words; // file: name and kind; run: tool and arguments; same: two names
    std::string body;               // file: its bytes; sh: the commands
    int status = -1;                // -1 until given
    bool exact[2] = {};             // whether stdout, stderr must be expected[k]
    std::string expected[2];
    std::vector<std::string> has[2];
};

// Words and quoted strings, appended to `words`.
bool read_words(std::string_view text, std::vector<std::string>& words)
{
    for (std::size_t at = 0; at < text.size();) {
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

// The concatenated quoted strings of `text`.
bool read_strings(std::string_view text, std::string& into)
{
    std::vector<std::string> parts;
    if (!read_words(text, parts))
        return false;
    for (const std::string& part : parts)
        into += part;
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
    for (std::size_t k = 0; k + 1 < digits.size(); k += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(k, 2), nullptr, 16));
    return digits.size() % 2 == 0;
}

bool sections_archive(const std::string& lines, std::vector<std::uint8_t>& out)
{
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
            return false;
        if (n < 44)
            sections[n].insert(sections[n].end(), bytes.begin(), bytes.end());
    }
    return !failed(write_archive(sections, 1, {}, out));
}

// The bytes of a file step from its kind and its indented lines.
bool file_bytes(case_step& step, const fs::path& dir, const std::string& lines, std::string& error)
{
    const std::string kind = step.words.size() > 1 ? step.words[1] : "";
    if (kind == "copy" && step.words.size() == 3)
        return read_file((dir / step.words[2]).string(), step.body) || (error = "can't read", false);
    if (kind == "hex")
        return hex_bytes(lines, step.body) || (error = "bad hexadecimal", false);
    if (kind == "text")
        return read_strings(lines, step.body) || (error = "bad quoted string", false);
    std::vector<std::uint8_t> built;
    bool made = false;
    if (kind == "sections")
        made = sections_archive(lines, built) || (error = "bad section number or hexadecimal", false);
    else if (kind == "archive")
        made = archive_from_source(lines, built, error);
    else if (kind == "pack" && step.words.size() == 3)
        made = pack_from_source(lines, step.words[2] == "huffman", built, error);
    else
        error = "unknown file kind";
    step.body.assign(built.begin(), built.end());
    return made;
}

// Parses a case file; `error` names the line of the first fault.
bool parse_case(const fs::path& path, std::vector<case_step>& steps, std::string& error)
{
    std::string text;
    if (!read_file(path.string(), text))
        return error = "can't read", false;
    const fs::path dir = path.parent_path();
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; at <= text.size(); at = nl + 1) {
        nl = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, nl > at && text[nl - 1] == '\r' ? nl - at - 1 : nl - at);
        lines.push_back(line.substr(0, line.find_last_not_of(" \t") + 1));
    }
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.empty() || line[0] == '#')
            continue;
        std::string body; // the indented lines that follow, without their indent
        for (; n + 1 < lines.size() && (lines[n + 1].starts_with(' ') || lines[n + 1].starts_with('\t')); ++n)
            body += lines[n + 1].substr(lines[n + 1].find_first_not_of(" \t")) + "\n";
        error = "line " + std::to_string(n + 1) + ": ";
        const std::size_t space = std::min(line.find(' '), line.size());
        const std::string word = line.substr(0, space), rest = line.substr(std::min(space + 1, line.size()));
        if (word == "in-process" || word == "no-address-sanitizer")
            continue;
        if (word == "file" || word == "run" || word == "sh" || word == "same") {
            case_step& step = steps.emplace_back();
            step.kind = word;
            step.line = static_cast<int>(n + 1);
            if (word == "sh")
                step.body = rest + "\n" + body;
            else if (!read_words(rest, step.words) || step.words.empty())
                return error += "bad quoted string or no words", false;
            const std::string tool = word == "run" ? step.words[0] : "kx_text";
            if (tool != "kxps_strings" && tool != "kx_strings" && tool != "kx_text")
                return error += "a run names no tool", false;
            std::string why;
            if (word == "file" && !file_bytes(step, dir, body, why))
                return error += why, false;
        } else if (steps.empty() || steps.back().kind == "file" || steps.back().kind == "same") {
            return error += "'" + word + "' without a run before it", false;
        } else {
            case_step& run = steps.back();
            const int k = word.starts_with("stderr") ? 1 : 0;
            const std::string strings = rest + " " + body;
            if (word == "status")
                run.status = std::stoi(rest);
            else if (word == "stdout-file" && read_file((dir / rest).string(), run.expected[0]))
                run.exact[0] = true;
            else if ((word == "stdout" || word == "stderr") && read_strings(strings, run.expected[k]))
                run.exact[k] = true;
            else if ((word != "stdout-has" && word != "stderr-has") ||
                     !read_strings(strings, run.has[k].emplace_back()))
                return error += "unknown directive, bad quoted string or no such file: " + word, false;
        }
    }
    for (const case_step& step : steps)
        if ((step.kind == "run" || step.kind == "sh") && step.status < 0)
            return error = "line " + std::to_string(step.line) + ": a run needs a status", false;
    return true;
}

// Runs POSIX shell commands; their outputs go through files in the working folder.
tool_run run_shell(std::string command)
{
    for (const std::string tool : {"kxps_strings", "kx_strings", "kx_text"})
        for (std::size_t at; (at = command.find("$" + tool)) != std::string::npos;)
            command.replace(at, tool.size() + 1, "'" KX_TOOL_DIR "/" + tool + "'");
    tool_run r;
    const int raw = std::system(("( " + command + " ) </dev/null >.stdout 2>.stderr").c_str());
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
    const auto end = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first;
    const auto at = static_cast<std::size_t>(end - expected.begin());
    const std::size_t from = at > 40 ? at - 40 : 0;
    std::string shown = " at byte " + std::to_string(at) + "\n  expected ";
    append_quoted(shown, expected.substr(from, 80));
    shown += "\n  actual   ";
    append_quoted(shown, actual.substr(from, 80));
    return shown;
}

// Runs one case file in a fresh folder; returns the number of differences, each printed.
int run_case(const fs::path& path)
{
    std::vector<case_step> steps;
    std::string error;
    if (!parse_case(path, steps, error)) {
        std::cout << path.string() << ": " << error << "\n";
        return 1;
    }
    int differences = 0;
    const auto differ = [&](const case_step& step, const std::string& what) {
        std::cout << path.string() << ":" << step.line << ": " << what << "\n";
        ++differences;
    };
    const fs::path previous = fs::current_path();
    const fs::path folder = fs::temp_directory_path() / ("kx_case_" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    fs::current_path(folder);
    for (const case_step& step : steps) {
        std::string a, b;
        if (step.kind == "file" && !write_file(step.words[0], step.body))
            differ(step, "can't write " + step.words[0]);
        if (step.kind == "same" && (step.words.size() != 2 || !read_file(step.words[0], a) ||
                                    !read_file(step.words[1], b) || a != b))
            differ(step, "the files differ");
        if (step.kind != "run" && step.kind != "sh")
            continue;
        const tool_run r = step.kind == "run" ? run_tool_in_process(step.words) : run_shell(step.body);
        for (int k = 0; k < 2; ++k) {
            const std::string& actual = k == 0 ? r.out : r.err;
            if (std::getenv("KX_CASE_SHOW") != nullptr) // to read a whole output while writing a case
                std::cout << path.string() << ":" << step.line << (k == 0 ? " stdout:\n" : " stderr:\n") << actual;
            const std::string name = k == 0 ? "stdout" : "stderr";
            if (step.exact[k] && actual != step.expected[k])
                differ(step, name + first_difference(step.expected[k], actual));
            std::size_t at = 0;
            for (const std::string& part : step.has[k]) {
                if ((at = actual.find(part, at)) == std::string::npos) {
                    std::string shown = name + " lacks ";
                    append_quoted(shown, part);
                    shown += "\n  actual   ";
                    append_quoted(shown, actual.substr(0, 400));
                    differ(step, shown);
                    break;
                }
                at += part.size();
            }
        }
        if (r.status != step.status)
            differ(step, "exit status " + std::to_string(r.status) + ", not " + std::to_string(step.status));
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
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
