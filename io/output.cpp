#include "io/output.h"

#include <algorithm>
#include <cstring>

void out_init_file(text_output& out, std::FILE* file)
{
    // The writer buffers; the stream's own buffer would only split each full buffer
    // handed on into two writes.
    if (file)
        std::setvbuf(file, nullptr, _IONBF, 0);
    out.sink = output_sink::file;
    out.file = file;
    out.kept.clear();
    out.failed = false;
    out.used = 0;
}

void out_init_memory(text_output& out)
{
    out_init_file(out, nullptr);
    out.sink = output_sink::memory;
}

void out_init_discard(text_output& out)
{
    out_init_file(out, nullptr);
    out.sink = output_sink::discard;
}

void out_drain(text_output& out)
{
    if (out.used == 0)
        return;
    switch (out.sink) {
    case output_sink::file:
        // After a failed write the rest is lost anyway; stop writing.
        if (!out.failed && std::fwrite(out.buffer, 1, out.used, out.file) != out.used)
            out.failed = true;
        break;
    case output_sink::memory:
        out.kept.append(out.buffer, out.used);
        break;
    case output_sink::discard:
        break;
    }
    out.used = 0;
}

void out_text_slow(text_output& out, std::string_view text)
{
    while (!text.empty()) {
        if (out.used == output_buffer_size)
            out_drain(out);
        std::size_t n = std::min(text.size(), output_buffer_size - out.used);
        std::memcpy(out.buffer + out.used, text.data(), n);
        out.used += n;
        text.remove_prefix(n);
    }
}

void out_blanks(text_output& out, std::size_t count)
{
    static constexpr std::string_view blanks = "                                ";
    while (count > 0) {
        const std::size_t n = std::min(count, blanks.size());
        out_text(out, blanks.substr(0, n));
        count -= n;
    }
}

void out_dec(text_output& out, std::int64_t value, int width)
{
    // Formatted from the right in one piece, written with one copy.
    char text[24];
    std::size_t at = sizeof text;
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    do {
        text[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        text[--at] = '-';
    const std::size_t length = sizeof text - at;
    if (width > 0 && static_cast<std::size_t>(width) > length)
        out_blanks(out, static_cast<std::size_t>(width) - length);
    out_text(out, std::string_view(text + at, length));
}

std::string hex_text(std::uint64_t value, int digits)
{
    char text[16];
    int n = 0;
    do {
        text[n++] = hex_digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string padded(static_cast<std::size_t>(std::max(digits - n, 0)), '0');
    while (n > 0)
        padded += text[--n];
    return padded;
}

void out_hex(text_output& out, std::uint64_t value, int digits)
{
    out_text(out, hex_text(value, digits));
}

int out_finish(text_output& out)
{
    out_drain(out);
    if (out.sink == output_sink::file && !out.failed &&
        (std::fflush(out.file) != 0 || std::ferror(out.file) != 0))
        out.failed = true;
    return out.failed ? -1 : 0;
}
