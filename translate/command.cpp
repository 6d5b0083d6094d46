#include "translate/command.h"

#include <filesystem>

#include "format/notation.h"

void report(text_output& err, std::string_view message)
{
    out_text(err, "ERROR: ");
    out_text(err, message);
    out_byte(err, '\n');
}

bool load(const std::string& path, std::optional<file_kind> kind, game_file& file, text_output& err)
{
    kind_failures why;
    const status s = load_game_file(path, kind, file, why);
    if (failed(s))
        report(err, load_failure_text(s, why, path, kind));
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
    report(err, "can't write " + path);
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
