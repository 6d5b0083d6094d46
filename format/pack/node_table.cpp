// The node table at the head of a packed file: a u16 record count, then per record the
// symbol and the parent, left and right links (0xFF: none). The last record is the root.
#include <new>

#include "format/le.h"
#include "format/pack/pack.h"

namespace {

// "DEBUG: +pos [k] " then the symbol, three characters wide ("[A]" for printable
// ASCII, "0A " otherwise), then the raw parent, left and right bytes.
void trace_record(text_output& out, std::uint64_t position, std::uint32_t k, const std::uint8_t* record)
{
    out_text(out, "DEBUG: +");
    out_hex(out, position, 8);
    out_text(out, " [");
    out_dec(out, k);
    out_text(out, "] ");
    const std::uint8_t symbol = record[0];
    if (symbol >= 0x20 && symbol <= 0x7E) {
        out_byte(out, '[');
        out_byte(out, static_cast<char>(symbol));
        out_byte(out, ']');
    } else {
        out_hex(out, symbol, 2);
        out_byte(out, ' ');
    }
    for (int field = 1; field <= 3; ++field) {
        out_byte(out, ' ');
        out_dec(out, record[field], 3);
    }
    out_byte(out, '\n');
}

} // namespace

status parse_pack_tables(std::span<const std::uint8_t> data, text_output* trace, pack_image& image)
{
    const std::uint64_t size = data.size();
    image.data = data;
    if (2 > size)
        return fail(failure::overrun);
    const std::uint16_t num_nodes = read_u16le(data.data());
    image.num_nodes = num_nodes;
    if (trace) {
        out_text(*trace, "DEBUG: +00000000 num_nodes = ");
        out_dec(*trace, num_nodes);
        out_byte(*trace, '\n');
    }
    const std::uint64_t directory_start = 2 + 4 * static_cast<std::uint64_t>(num_nodes);
    if (directory_start > size)
        return fail(failure::overrun);
    try {
        image.nodes.assign(num_nodes, huff_node{});
        image.records.assign(num_nodes, node_record{});
    } catch (const std::bad_alloc&) {
        return fail(failure::memory);
    }
    image.root = num_nodes == 0 ? no_node : static_cast<std::uint16_t>(num_nodes - 1);
    for (std::uint32_t k = 0; k < num_nodes; ++k) {
        const std::uint64_t position = 2 + 4 * static_cast<std::uint64_t>(k);
        const std::uint8_t* record = data.data() + position;
        if (trace)
            trace_record(*trace, position, k, record);
        image.records[k] = {record[0], record[1], record[2], record[3]};
        huff_node& node = image.nodes[k];
        node.symbol = record[0];
        node.left = child_link(record[2], num_nodes);
        node.right = child_link(record[3], num_nodes);
    }
    // A root leaf other than the end mark would decode a symbol without taking a
    // bit, over and over; only the end mark may stand alone (every string empty).
    if (image.root != no_node) {
        const huff_node& root = image.nodes[image.root];
        if (is_leaf(root) && root.symbol != end_mark)
            return fail(failure::illegal_node_table);
    }
    return parse_directory(directory_layout::packed, data, directory_start, 0, trace, image.directory);
}

void write_node_table(std::span<const node_record> records, std::vector<std::uint8_t>& out)
{
    append_u16le(out, static_cast<std::uint16_t>(records.size()));
    for (const node_record& r : records)
        out.insert(out.end(), {r.symbol, r.parent, r.left, r.right});
}
