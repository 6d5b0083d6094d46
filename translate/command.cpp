#include "translate/command.h"

#include <filesystem>
#include <vector>

#include "io/file_io.h"

#include "format/notation.h"

void report(text_output& err, std::string_view message)
{
    out_text(err, "ERROR: ");
    out_text(err, message);
    out_byte(err, '\n');
}

std::string read_failure_text(const status& s, const std::string& path)
{
    if (s.code != failure::cant_open && s.code != failure::cant_seek && s.code != failure::cant_read)
        return failure_text(s, path);
    const std::string reason = sys_reason_text(reason_of(s));
    return "can't read " + path + ": " + (reason.empty() ? "the file ended early" : reason);
}

std::string write_failure_text(const std::string& path, const sys_reason& reason)
{
    const std::string text = sys_reason_text(reason);
    return "can't write " + path + (text.empty() ? "" : ": " + text);
}

bool load(const std::string& path, std::optional<file_kind> kind, game_file& file, text_output& err)
{
    kind_failures why;
    const status s = load_game_file(path, kind, file, why);
    if (failed(s))
        report(err, s.code == failure::not_a_game_file || s.code == failure::both_kinds ? load_failure_text(s, why, path, kind)
                                                                                       : read_failure_text(s, path));
    return !failed(s);
}

bool load_table(const std::string& path, const game_file& file, char_table& table, text_output& err)
{
    table = char_table{};
    if (path.empty())
        return true;
    table.name = path;
    std::vector<std::uint8_t> bytes;
    status s = read_whole_file(path, bytes);
    if (!failed(s))
        s = read_char_table(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), table);
    if (failed(s))
        report(err, failure_text(s, path));
    return !failed(s);
}

std::string counted(std::uint64_t n, std::string_view noun)
{
    return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

std::string base_name(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

bool open_output(const std::string& path, std::span<const std::string> inputs, output_file& target, text_output& err)
{
    switch (output_file_open(path, inputs, target)) {
    case output_opened::ok:
        return true;
    case output_opened::is_input:
        report(err, "-o names " + inputs[target.input] + ", which this run reads; choose another name");
        return false;
    case output_opened::cant_create:
        break;
    }
    report(err, write_failure_text(path, target.reason));
    return false;
}


std::string shown_text(std::string_view text)
{
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = read_utf8(text, at, c);
        if (length == 0 || c < 0x20 || c == 0x7F) {
            const auto byte = static_cast<unsigned char>(text[at++]);
            shown += "\\x";
            shown += hex_text(byte, 2);
            continue;
        }
        shown.append(text.substr(at, length));
        at += length;
    }
    return shown;
}
