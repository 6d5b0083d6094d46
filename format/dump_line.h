#pragma once
// The head of a dump line, shared by the printers of both kinds of file.
#include <cstdint>
#include <initializer_list>

#include "io/output.h"

// The head of a dump line: each position as "[%3.1d]", then, when verbose, " +" and
// `offset` in eight hexadecimal digits, then " = ". Positions count from 0 in
// directory order.
void write_line_prefix(text_output& out, std::initializer_list<std::int64_t> positions, bool verbose,
                       std::uint64_t offset);
