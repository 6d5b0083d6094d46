#include "format/le.h"
#include "format/pack/pack.h"

namespace {

// Reads what the tables at the head of the file name, as parse_pack_tables will read
// them: the record count and records, the directory, each block's count and offset list.
// Ranges that run past the end are read as far as they go: the parse refuses them.
status read_pack_tables(paged_bytes& bytes)
{
    const std::uint8_t* const data = bytes.data.data();
    const std::uint64_t size = bytes.data.size();
    status s = paged_need(bytes, 0, 2);
    if (failed(s) || size < 2)
        return s;
    const std::uint64_t directory = 2 + 4 * static_cast<std::uint64_t>(read_u16le(data));
    if (s = paged_need(bytes, 2, directory + 2); failed(s) || directory + 2 > size)
        return s;
    const std::uint16_t num_blocks = read_u16le(data + directory);
    const std::uint64_t entries = directory + 2;
    const std::uint64_t entries_end = entries + directory_entry_size(directory_layout::packed) * num_blocks;
    if (s = paged_need(bytes, entries, entries_end); failed(s) || entries_end > size)
        return s;
    for (std::uint32_t i = 0; i < num_blocks && !failed(s); ++i) {
        const std::uint64_t header = read_u32le(data + entries + 6 * static_cast<std::uint64_t>(i) + 2);
        if (s = paged_need(bytes, header, header + 2); !failed(s) && header + 2 <= size)
            s = paged_need(bytes, header + 2, header + 2 + 2 * static_cast<std::uint64_t>(read_u16le(data + header)));
    }
    return s;
}

} // namespace

status dump_pack(const std::string& name, bool verbose, text_output& out, pack_image& image)
{
    byte_source source = file_source(name);
    status s = source_open(source);
    // An empty file and a file too large for the format both end as a read that
    // cannot deliver the whole file. Nothing is allocated for them.
    if (!failed(s) && (source.size == 0 || source.size >= offset_limit))
        s = fail(failure::cant_read);
    if (!failed(s))
        s = source_page(source, 0, source.size, image.bytes);
    if (!failed(s))
        s = read_pack_tables(image.bytes);
    if (!failed(s))
        s = parse_pack_tables(image.bytes.data, verbose ? &out : nullptr, image);
    if (!failed(s))
        s = print_pack_strings(image, verbose, out);
    image.bytes.source = nullptr; // the source goes here; what was read stays
    source_close(source);
    return s;
}
