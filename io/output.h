#pragma once
// The one buffered writer that all output goes through. Bytes are collected in a
// fixed buffer and handed on when it is full and at the end of the run; a failed
// hand-over is remembered, later output is dropped, and `out_finish` reports it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

enum class output_sink {
    file,    // full buffers are written to `file`
    memory,  // everything is appended to `kept` (tests)
    discard, // everything is dropped (fuzzing)
};

inline constexpr std::size_t output_buffer_size = 1 << 16;

struct text_output {
    output_sink sink = output_sink::discard;
    std::FILE* file = nullptr;
    std::string kept;
    bool failed = false;
    std::size_t used = 0;
    char buffer[output_buffer_size];
};

// Writes to `file`, which must not have been used yet: its own buffering is switched off.
void out_init_file(text_output& out, std::FILE* file);
void out_init_memory(text_output& out);
void out_init_discard(text_output& out);

// Hands the buffered bytes on (without flushing the stream itself).
void out_drain(text_output& out);

inline void out_byte(text_output& out, char c)
{
    if (out.used == output_buffer_size)
        out_drain(out);
    out.buffer[out.used++] = c;
}

void out_text_slow(text_output& out, std::string_view text);

inline void out_text(text_output& out, std::string_view text)
{
    if (text.size() <= output_buffer_size - out.used) {
        std::memcpy(out.buffer + out.used, text.data(), text.size());
        out.used += text.size();
        return;
    }
    out_text_slow(out, text);
}
void out_blanks(text_output& out, std::size_t count);
// printf's "%*.1d": decimal, right-aligned in at least `width` characters.
void out_dec(text_output& out, std::int64_t value, int width);
// printf's "%0*X": upper-case hexadecimal with at least `digits` digits.
void out_hex(text_output& out, std::uint64_t value, int digits);
inline constexpr char hex_digits[] = "0123456789ABCDEF";
std::string hex_text(std::uint64_t value, int digits);

// Writes out everything still buffered and flushes the stream. Returns 0, or -1
// when any write of this output has failed (nothing is printed here).
int out_finish(text_output& out);
