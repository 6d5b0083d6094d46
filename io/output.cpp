#include "io/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

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
    out.error = 0;
    if (!out.heap)
        out.heap.reset(new (std::nothrow) char[output_buffer_size]);
    if (out.heap) {
        out.start = out.heap.get();
        out.end = out.start + output_buffer_size;
    } else {
        out.start = out.spare;
        out.end = out.spare + sizeof out.spare;
    }
    out.next = out.start;
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
    const auto used = static_cast<std::size_t>(out.next - out.start);
    if (used == 0)
        return;
    switch (out.sink) {
    case output_sink::file:
        // After a failed write the rest is lost anyway; stop writing.
        if (!out.failed && std::fwrite(out.start, 1, used, out.file) != used) {
            out.failed = true;
            out.error = errno;
        }
        break;
    case output_sink::memory:
        out.kept.append(out.start, used);
        break;
    case output_sink::discard:
        break;
    }
    out.next = out.start;
}

void out_text_slow(text_output& out, std::string_view text)
{
    while (!text.empty()) {
        if (out.next == out.end)
            out_drain(out);
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(out.end - out.next));
        std::memcpy(out.next, text.data(), n);
        out.next += n;
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

namespace {

// The decimal digits of `value`, with its sign, formed from the right end of `text`.
std::string_view decimal(char (&text)[24], std::int64_t value)
{
    std::size_t at = sizeof text;
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    do {
        text[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        text[--at] = '-';
    return {text + at, sizeof text - at};
}

// The upper-case hexadecimal digits of `value`, formed from the right end of `text`.
std::string_view hexadecimal(char (&text)[16], std::uint64_t value)
{
    std::size_t at = sizeof text;
    do {
        text[--at] = hex_digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    return {text + at, sizeof text - at};
}

// How far `length` characters fall short of `width`.
std::size_t shortfall(int width, std::size_t length)
{
    return width > 0 && static_cast<std::size_t>(width) > length ? static_cast<std::size_t>(width) - length : 0;
}

} // namespace

void out_dec(text_output& out, std::int64_t value, int width)
{
    // Formed in one piece, written with one copy.
    char text[24];
    const std::string_view digits = decimal(text, value);
    out_blanks(out, shortfall(width, digits.size()));
    out_text(out, digits);
}

void out_hex(text_output& out, std::uint64_t value, int digits)
{
    char text[16];
    const std::string_view shown = hexadecimal(text, value);
    for (std::size_t pad = shortfall(digits, shown.size()); pad > 0; --pad)
        out_byte(out, '0');
    out_text(out, shown);
}

void append_dec(std::string& text, std::int64_t value)
{
    char digits[24];
    text += decimal(digits, value);
}

void append_hex(std::string& text, std::uint64_t value, int digits)
{
    char shown[16];
    const std::string_view hex = hexadecimal(shown, value);
    text.append(shortfall(digits, hex.size()), '0');
    text += hex;
}

std::string hex_text(std::uint64_t value, int digits)
{
    std::string text;
    append_hex(text, value, digits);
    return text;
}

int out_finish(text_output& out)
{
    out_drain(out);
    if (out.sink == output_sink::file && !out.failed &&
        (std::fflush(out.file) != 0 || std::ferror(out.file) != 0)) {
        out.failed = true;
        out.error = errno;
    }
    return out.failed ? -1 : 0;
}
