// The Huffman code of a packed file: decoding a code word a bit at a time, building a
// tree from byte counts, and encoding with it. Bits are taken from the top of each byte
// down; a 0 bit goes to the left child, a 1 bit to the right.
#include <algorithm>
#include <new>
#include <utility>

#include "format/pack/huffman.h"
#include "format/pack/pack.h"

namespace {

// Bit masks by bit position: the bits of a byte are taken from the top down.
constexpr std::uint8_t bit_masks[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

} // namespace

status huff_next(const pack_image& image, huff_reader& reader, huff_symbol& symbol, std::uint64_t end)
{
    const std::uint8_t* const data = image.data.data();
    const huff_node* const nodes = image.nodes.data();
    std::uint16_t node = image.root;
    symbol.first_bit = reader.bit < 8 ? 8 * (reader.position - 1) + reader.bit : 8 * reader.position;
    symbol.bits = 0;
    for (;;) {
        if (reader.bit == 8) {
            if (reader.position >= end)
                return fail(failure::decode_overrun);
            reader.current = data[reader.position++];
            reader.bit = 0;
        }
        const huff_node& n = nodes[node];
        if (is_leaf(n)) {
            symbol.symbol = n.symbol;
            return {};
        }
        const unsigned one = (reader.current & bit_masks[reader.bit]) != 0;
        ++reader.bit;
        ++symbol.bits;
        node = one != 0 ? n.right : n.left;
        if (node == no_node)
            return status{.code = one != 0 ? failure::right_null : failure::left_null, .offset = reader.position - 1,
                          .bit = reader.bit - 1};
    }
}

void count_symbols(std::span<std::uint64_t, 256> counts, std::span<const std::uint8_t> text)
{
    for (std::uint8_t byte : text)
        ++counts[byte];
    ++counts[end_mark];
}

bool build_huff_table(const pack_image& image, huff_table& table)
{
    table.entries.reset();
    if (image.root == no_node || is_leaf(image.nodes[image.root]))
        return false;
    try {
        table.entries = std::make_unique<huff_entry[]>(std::size_t{1} << huff_table_bits);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const huff_node* const nodes = image.nodes.data();
    for (unsigned v = 0; v < (1u << huff_table_bits); ++v) {
        huff_entry& e = table.entries[v];
        // Whole code words from the root while the bits of v last; a word that fails or
        // does not end within them is left to the bit walk.
        while (e.count < sizeof e.symbols) {
            std::uint16_t node = image.root;
            unsigned length = 0;
            while (node != no_node && !is_leaf(nodes[node]) && e.bits + length < huff_table_bits) {
                const unsigned one = (v >> (huff_table_bits - 1 - e.bits - length)) & 1;
                node = one != 0 ? nodes[node].right : nodes[node].left;
                ++length;
            }
            if (node == no_node || !is_leaf(nodes[node]))
                break;
            const std::uint8_t symbol = nodes[node].symbol;
            if (symbol == end_mark) {
                e.flags = e.count == 0 ? huff_ends_string : huff_ends_after;
                break;
            }
            e.symbols[e.count++] = symbol;
            e.bits = static_cast<std::uint8_t>(e.bits + length);
            if (symbol == line_feed) {
                e.flags = huff_line_feed_last;
                break;
            }
        }
    }
    return true;
}

status build_code_tree(std::span<const std::uint64_t, 256> counts, std::vector<node_record>& records)
{
    records.clear();
    std::vector<std::pair<std::uint64_t, std::uint8_t>> open; // weight, record index
    std::size_t leaves = 0;
    for (std::size_t b = 0; b < 256; ++b)
        leaves += counts[b] != 0 || b == end_mark;
    if (leaves > 128)
        return status{.code = failure::too_many_symbols, .count = leaves};
    for (std::size_t b = 0; b < 256; ++b) {
        if (counts[b] == 0 && b != end_mark)
            continue;
        open.emplace_back(std::max<std::uint64_t>(counts[b], 1), static_cast<std::uint8_t>(records.size()));
        records.push_back(node_record{static_cast<std::uint8_t>(b), no_link_byte, no_link_byte, no_link_byte});
    }
    while (open.size() > 1) {
        std::pair<std::uint64_t, std::uint8_t> two[2];
        for (auto& taken : two) {
            auto lightest = open.begin();
            for (auto it = open.begin(); it != open.end(); ++it)
                if (*it < *lightest)
                    lightest = it;
            taken = *lightest;
            open.erase(lightest);
        }
        const auto index = static_cast<std::uint8_t>(records.size());
        records.push_back(node_record{0, no_link_byte, two[0].second, two[1].second});
        records[two[0].second].parent = index;
        records[two[1].second].parent = index;
        open.emplace_back(two[0].first + two[1].first, index);
    }
    return {};
}

void code_words(std::span<const node_record> records, code_table& table)
{
    table = code_table{};
    const std::size_t count = records.size();
    if (count == 0)
        return;
    // Breadth first from the root, the left child first: the first path that reaches a
    // node is its shortest, and of equal lengths the one that sorts first.
    std::vector<std::string> path(count);
    std::vector<bool> seen(count, false);
    std::vector<std::size_t> queue{count - 1};
    seen[count - 1] = true;
    for (std::size_t k = 0; k < queue.size(); ++k) {
        const std::size_t n = queue[k];
        const std::size_t children[2] = {child_link(records[n].left, count), child_link(records[n].right, count)};
        if (children[0] == no_node && children[1] == no_node) {
            const std::uint8_t symbol = records[n].symbol;
            if (!table.has[symbol]) {
                table.has[symbol] = true;
                table.words[symbol] = path[n];
            }
            continue;
        }
        for (std::size_t side = 0; side < 2; ++side) {
            const std::size_t child = children[side];
            if (child == no_node || seen[child])
                continue;
            seen[child] = true;
            path[child] = path[n] + static_cast<char>('0' + side);
            queue.push_back(child);
        }
    }
}

bool is_sound_tree(std::span<const node_record> records)
{
    const std::size_t count = records.size();
    if (count == 0)
        return false;
    // Depth first from the root; a node met again, on the path or off it, is a fault.
    std::vector<bool> seen(count, false);
    std::vector<std::size_t> stack{count - 1};
    seen[count - 1] = true;
    while (!stack.empty()) {
        const std::size_t n = stack.back();
        stack.pop_back();
        const std::size_t left = child_link(records[n].left, count);
        const std::size_t right = child_link(records[n].right, count);
        if (left == no_node && right == no_node)
            continue;
        if (left == no_node || right == no_node || seen[left] || seen[right] || left == right)
            return false;
        seen[left] = seen[right] = true;
        stack.push_back(right);
        stack.push_back(left);
    }
    return true;
}

status huffman_encode(const code_table& table, std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out)
{
    std::uint64_t bits = 0;
    for (std::uint8_t byte : text) {
        if (byte == end_mark)
            return fail(failure::end_mark_in_text);
        if (!table.has[byte])
            return status{.code = failure::no_code_word, .byte = byte};
        bits += table.words[byte].size();
    }
    if (!table.has[end_mark])
        return status{.code = failure::no_code_word, .byte = end_mark};
    bits += table.words[end_mark].size();
    const std::size_t first = out.size();
    out.resize(first + static_cast<std::size_t>((bits + 7) / 8 + (bits % 8 == 0 ? 1 : 0)), 0);
    std::uint64_t at = 0;
    const auto put = [&](const std::string& word) {
        for (char bit : word) {
            if (bit == '1')
                out[first + at / 8] = static_cast<std::uint8_t>(out[first + at / 8] | bit_masks[at % 8]);
            ++at;
        }
    };
    for (std::uint8_t byte : text)
        put(table.words[byte]);
    put(table.words[end_mark]);
    return {};
}
