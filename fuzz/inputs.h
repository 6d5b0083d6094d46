#pragma once
// Runs one input through a tool's whole pipeline in-process, exactly as the tool
// does on a file: the fuzz targets and the regression tests share these two calls.
#include <cstdint>
#include <span>

#include "format/archive/archive.h"
#include "io/output.h"
#include "format/pack/pack.h"

// kxps_strings on `bytes` as the whole archive (index, sections 8 and 43, both
// directory layouts, rendering as `rendering` says).
inline status run_archive_input(std::span<const std::uint8_t> bytes, bool verbose, text_output& out,
                                game_rendering rendering = game_rendering::fast)
{
    byte_source source = memory_source("FUZZ", bytes);
    return dump_archive(source, verbose, out, rendering);
}

// kx_strings on `bytes` as the whole packed file (node table, layout C directory,
// Huffman or XOR-chained strings, verbose listing), Huffman strings decoded as
// `decoding` says.
inline status run_pack_input(std::span<const std::uint8_t> bytes, bool verbose, text_output& out,
                             pack_decoding decoding = pack_decoding::automatic)
{
    pack_image image;
    status s = parse_pack_tables(bytes, verbose ? &out : nullptr, image);
    if (!failed(s))
        s = print_pack_strings(image, verbose, out, decoding);
    return s;
}
