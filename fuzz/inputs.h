#pragma once
// Runs one input through a tool's whole pipeline in-process, exactly as the tool
// does on a file: the fuzz targets and the regression tests share these two calls.
#include <cstdint>
#include <span>

#include "archive_strings/archive.h"
#include "common/output.h"
#include "pack_strings/pack.h"

// kxps_strings on `bytes` as the whole archive (index, sections 8 and 43, both
// directory layouts, rendering). Returns the pipeline's result, 0 or -1.
inline int run_archive_input(std::span<const std::uint8_t> bytes, text_output& out)
{
    archive_source source;
    source.path = "FUZZ";
    source.in_memory = true;
    source.bytes = bytes;
    return dump_archive(source, out);
}

// kx_strings on `bytes` as the whole packed file (node table, layout C directory,
// Huffman or XOR-chained strings, verbose listing). Returns 0 or -1.
inline int run_pack_input(std::span<const std::uint8_t> bytes, text_output& out)
{
    pack_image image;
    if (parse_pack_tables(bytes, out, image) != 0)
        return -1;
    return print_pack_strings(image, out);
}
