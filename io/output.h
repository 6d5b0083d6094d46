#pragma once
// The one buffered writer that all output goes through. Bytes are collected in a
// buffer on the heap and handed on when it is full and at the end of the run; a failed
// hand-over is remembered, later output is dropped, and `out_finish` reports it.
//
// When the buffer cannot be had, the writer works all the same through a small buffer
// of its own: the same bytes, in more and smaller writes. Writers are ordinary locals.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

enum class output_sink {
    file,    // full buffers are written to `file`
    memory,  // everything is appended to `kept` (tests)
    discard, // everything is dropped (fuzzing)
};

inline constexpr std::size_t output_buffer_size = 1 << 16;
// The most that `out_reserve` may be asked for: the size of the writer's own buffer.
inline constexpr std::size_t output_reserve_limit = 256;

// Only the functions below touch the fields, except `kept`: the memory sink's bytes,
// whole after `out_finish`.
struct text_output {
    output_sink sink = output_sink::discard;
    std::FILE* file = nullptr;
    std::string kept;
    bool failed = false;
    int error = 0; // after a failed write: the errno value it left
    // [start, next) is filled, [next, end) is free.
    char* start = spare;
    char* next = spare;
    char* end = spare + output_reserve_limit;
    std::unique_ptr<char[]> heap;      // output_buffer_size bytes, or none
    char spare[output_reserve_limit];  // the buffer without one on the heap

    text_output() = default;
    // The buffer's pointers may point into the writer itself.
    text_output(const text_output&) = delete;
    text_output& operator=(const text_output&) = delete;
};

// Writes to `file`, which must not have been used yet: its own buffering is switched off.
// Each of these starts the writer afresh; the buffer is allocated the first time.
void out_init_file(text_output& out, std::FILE* file);
void out_init_memory(text_output& out);
void out_init_discard(text_output& out);

// Hands the buffered bytes on (without flushing the stream itself).
void out_drain(text_output& out);

// The free part of the buffer, at least `n` bytes (n at most output_reserve_limit): the
// buffered bytes are handed on first when fewer are free. Bytes written there are output
// once `out_commit` counts them; any other output in between takes the room back.
inline std::span<char> out_reserve(text_output& out, std::size_t n)
{
    if (static_cast<std::size_t>(out.end - out.next) < n)
        out_drain(out);
    return {out.next, out.end};
}

// Counts the first `n` bytes of the room `out_reserve` gave.
inline void out_commit(text_output& out, std::size_t n)
{
    out.next += n;
}

inline void out_byte(text_output& out, char c)
{
    if (out.next == out.end)
        out_drain(out);
    *out.next++ = c;
}

void out_text_slow(text_output& out, std::string_view text);

inline void out_text(text_output& out, std::string_view text)
{
    if (text.size() <= static_cast<std::size_t>(out.end - out.next)) {
        std::memcpy(out.next, text.data(), text.size());
        out.next += text.size();
        return;
    }
    out_text_slow(out, text);
}
void out_blanks(text_output& out, std::size_t count);
// printf's "%*.1d": decimal, right-aligned in at least `width` characters.
void out_dec(text_output& out, std::int64_t value, int width = 0);
// printf's "%0*X": upper-case hexadecimal with at least `digits` digits.
void out_hex(text_output& out, std::uint64_t value, int digits);
inline constexpr char hex_digits[] = "0123456789ABCDEF";
std::string hex_text(std::uint64_t value, int digits);

// The same texts appended to a string, for text made without a writer.
void append_dec(std::string& text, std::int64_t value);
void append_hex(std::string& text, std::uint64_t value, int digits);

// Writes out everything still buffered and flushes the stream. Returns 0, or -1
// when any write of this output has failed (nothing is printed here).
int out_finish(text_output& out);
