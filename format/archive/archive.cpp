#include "format/archive/archive.h"

#include "format/le.h"

status load_section(byte_source& source, std::int32_t n, text_output* trace, loaded_section& section)
{
    section = loaded_section{};
    section.number = n;
    // The archive is opened anew for every section; its length bounds every section.
    status s = source_open(source);
    std::uint8_t entries[8];
    if (!failed(s))
        s = source_read(source, 4 * static_cast<std::uint64_t>(n), entries);
    if (!failed(s)) {
        const std::uint32_t start = read_u32le(entries);
        const std::uint32_t end = read_u32le(entries + 4);
        section.file_offset = start;
        section.size = end - start; // modulo 2^32, as stored
        if (end <= start) {
            s = fail(failure::illegal_index);
        } else {
            if (trace) {
                out_text(*trace, "DEBUG: offset=");
                out_hex(*trace, start, 8);
                out_text(*trace, ", size=");
                out_hex(*trace, section.size, 8);
                out_byte(*trace, '\n');
            }
            s = source_page(source, start, section.size, section.bytes);
        }
    }
    if (failed(s))
        source_close(source);
    return s;
}

namespace {

// Reads what a section's directory names, as parse_directory will read it: the block
// count and entries, in layout B each block's inner offset, each block's count and
// offset list. Ranges that run past the section are read as far as they go: the parse
// refuses them.
status read_section_tables(paged_bytes& bytes, directory_layout layout)
{
    const std::uint8_t* const data = bytes.data.data();
    const std::uint64_t size = bytes.data.size();
    const std::uint64_t entry_size = directory_entry_size(layout);
    status s = paged_need(bytes, 0, 4);
    if (failed(s) || size < 4)
        return s;
    const std::uint16_t num_blocks = read_u16le(data);
    if (s = paged_need(bytes, 4, 4 + entry_size * num_blocks); failed(s) || 4 + entry_size * num_blocks > size)
        return s;
    for (std::uint32_t i = 0; i < num_blocks && !failed(s); ++i) {
        std::uint64_t header = read_u32le(data + 4 + entry_size * i + entry_size - 4);
        if (layout == directory_layout::nested) {
            if (s = paged_need(bytes, header, header + 4); failed(s) || header + 4 > size)
                continue;
            header += read_u32le(data + header);
        }
        if (s = paged_need(bytes, header, header + 2); !failed(s) && header + 2 <= size)
            s = paged_need(bytes, header + 2, header + 2 + 2 * static_cast<std::uint64_t>(read_u16le(data + header)));
    }
    return s;
}

} // namespace

status dump_archive(byte_source& source, bool verbose, text_output& out, game_rendering rendering)
{
    text_output* trace = verbose ? &out : nullptr;
    for (std::size_t i = 0; i < string_sections.size(); ++i) {
        loaded_section section;
        status s = load_section(source, string_sections[i], trace, section);
        if (!failed(s))
            s = read_section_tables(section.bytes, section_layout(i));
        if (!failed(s))
            s = parse_directory(section_layout(i), section.bytes.data, 0, section.file_offset, trace, section.directory);
        if (!failed(s))
            s = print_section_strings(section, verbose, out, rendering);
        source_close(source);
        if (failed(s))
            return s;
        // The section's bytes are released here, before the next one is loaded.
    }
    return {};
}


status write_archive(std::span<const std::vector<std::uint8_t>> sections, std::uint32_t alignment,
                     std::span<const std::uint8_t> trailer, std::vector<std::uint8_t>& out)
{
    const std::uint64_t index_size = 4 * (static_cast<std::uint64_t>(sections.size()) + 1);
    std::vector<std::uint64_t> starts;
    std::uint64_t at = index_size;
    for (std::size_t n = 0; n < sections.size(); ++n) {
        starts.push_back(at);
        at += sections[n].size();
        if (n + 1 < sections.size())
            at = (at + alignment - 1) / alignment * alignment;
    }
    starts.push_back(at);
    if (at >= offset_limit)
        return status{.code = failure::too_large, .size = at + trailer.size()};
    const std::size_t first = out.size();
    out.resize(first + static_cast<std::size_t>(at), 0);
    for (std::size_t n = 0; n < starts.size(); ++n)
        write_u32le(out.data() + first + 4 * n, static_cast<std::uint32_t>(starts[n]));
    for (std::size_t n = 0; n < sections.size(); ++n)
        std::copy(sections[n].begin(), sections[n].end(), out.begin() + static_cast<std::ptrdiff_t>(first + starts[n]));
    out.insert(out.end(), trailer.begin(), trailer.end());
    return {};
}
