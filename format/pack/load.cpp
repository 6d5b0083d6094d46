#include "format/le.h"
#include "format/pack/pack.h"


status load_pack_file(const std::string& name, loaded_bytes& bytes)
{
    bytes = loaded_bytes{};
    byte_source source = file_source(name);
    status s = source_open(source);
    // An empty file and a file too large for the format both end as a read that
    // cannot deliver the whole file. Nothing is allocated for them.
    if (!failed(s) && (source.size == 0 || source.size >= offset_limit))
        s = fail(failure::cant_read);
    if (!failed(s))
        s = source_load(source, 0, source.size, bytes);
    source_close(source);
    return s;
}

status dump_pack(const std::string& name, bool verbose, text_output& out, pack_image& image)
{
    status s = load_pack_file(name, image.bytes);
    if (!failed(s))
        s = parse_pack_tables(image.bytes.data, verbose ? &out : nullptr, image);
    if (!failed(s))
        s = print_pack_strings(image, verbose, out);
    return s;
}

