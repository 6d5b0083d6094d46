#include "common/frame.h"
#include "pack_strings/pack.h"

namespace {

// Bit masks by bit position: the bits of a byte are taken from the top down.
constexpr std::uint8_t bit_masks[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

constexpr std::uint8_t line_feed = 0x0A;

// Continuation indents: the widths of the two line prefixes for positions below 1000.
constexpr std::size_t normal_indent = 13;
constexpr std::size_t verbose_indent = 23;

constexpr std::string_view overrun_message = "\nERROR: buffer overrun\n";

bool is_leaf(const huff_node& node)
{
    return node.left == no_node && node.right == no_node;
}

// A text byte, after the continuation indent that a preceding line feed left pending.
inline void write_text_byte(text_output& out, std::uint8_t byte, std::size_t indent,
                            bool& indent_pending)
{
    if (indent_pending) {
        indent_pending = false;
        out_blanks(out, indent);
    }
    out_byte(out, static_cast<char>(byte));
    if (byte == line_feed)
        indent_pending = true;
}

// The node messages end without a line feed. `position` is the file offset of the
// byte that held the bit, `bit` its index from the top.
void report_missing_child(text_output& out, std::string_view side, std::uint64_t position,
                          unsigned bit)
{
    out_text(out, "ERROR: ");
    out_text(out, side);
    out_text(out, " node is NULL: +");
    out_hex(out, position, 8);
    out_byte(out, '.');
    out_dec(out, bit, 0);
}

// Decodes the Huffman string at `start` up to its end mark, writing each text byte as
// its code word ends. The next byte is loaded before the leaf test, so a code word
// that ends on the last bit of a byte still needs the byte after it. Returns 0, or -1
// after its message.
int print_huffman_text(const pack_image& image, std::uint64_t start, std::size_t indent,
                       text_output& out, bool& indent_pending)
{
    const std::uint8_t* const data = image.data.data();
    const std::uint64_t end = image.data.size();
    const huff_node* const nodes = image.nodes.data();
    const std::uint16_t root = image.root;
    std::uint64_t position = start;
    std::uint16_t node = root;
    for (;;) {
        // The next byte is loaded as soon as the bits of the current one are used up,
        // before the node that its last bit reached is tested for a leaf.
        if (position >= end) {
            out_text(out, overrun_message);
            return -1;
        }
        const unsigned current = data[position++];
        for (unsigned bit = 0; bit < 8; ++bit) {
            // The root is never a leaf other than the end mark, so this runs at most
            // twice: once for the leaf, once for the root.
            while (is_leaf(nodes[node])) {
                const std::uint8_t symbol = nodes[node].symbol;
                if (symbol == end_mark)
                    return 0;
                write_text_byte(out, symbol, indent, indent_pending);
                node = root;
            }
            const huff_node& n = nodes[node];
            const std::uint16_t children[2] = {n.left, n.right};
            const unsigned one = (current & bit_masks[bit]) != 0;
            node = children[one];
            if (node == no_node) {
                report_missing_child(out, one != 0 ? "right" : "left", position - 1, bit);
                return -1;
            }
        }
    }
}

// Decodes the XOR-chained string at `start`: each stored byte is folded into the
// running value, which is the next text byte. The end mark ends the string unless it
// is the trail byte of a Shift-JIS pair. Returns 0, or -1 after its message.
int print_xor_text(const pack_image& image, std::uint64_t start, std::size_t indent,
                   text_output& out, bool& indent_pending)
{
    const std::uint8_t* const data = image.data.data();
    const std::uint64_t end = image.data.size();
    std::uint64_t position = start;
    std::uint8_t current = 0;
    bool trail_expected = false;
    for (;;) {
        if (position >= end) {
            out_text(out, overrun_message);
            return -1;
        }
        current = static_cast<std::uint8_t>(current ^ data[position++]);
        if (current == end_mark && !trail_expected)
            return 0;
        write_text_byte(out, current, indent, indent_pending);
        if (trail_expected) {
            trail_expected = false;
            if (current < 0x40 || current > 0xFC || current == 0x7F) {
                out_text(out, "ERROR: illegal shift jis encoding\n");
                return -1;
            }
        } else if ((current >= 0x81 && current <= 0x9F) || (current >= 0xE0 && current <= 0xFC)) {
            trail_expected = true;
        }
    }
}

// The verbose listing: the code words of the string's symbols, separated by ",", a
// line per text line, each line indented by 23 blanks, the end mark's word last. It
// walks the same bits that print_huffman_text has already decoded without failure;
// the bounds and link tests below are only a guard and never end a listing early.
void print_code_listing(const pack_image& image, std::uint64_t start, text_output& out)
{
    const std::uint8_t* const data = image.data.data();
    const std::uint64_t end = image.data.size();
    const huff_node* const nodes = image.nodes.data();
    const std::uint16_t root = image.root;
    std::uint64_t position = start;
    std::uint16_t node = root;
    bool indent_pending = true;
    for (;;) {
        if (position >= end)
            return;
        const unsigned current = data[position++];
        for (unsigned bit = 0; bit < 8; ++bit) {
            while (is_leaf(nodes[node])) {
                const std::uint8_t symbol = nodes[node].symbol;
                if (symbol == end_mark)
                    return;
                out_byte(out, ',');
                if (symbol == line_feed) {
                    indent_pending = true;
                    out_byte(out, '\n');
                }
                node = root;
            }
            if (indent_pending) {
                indent_pending = false;
                out_blanks(out, verbose_indent);
            }
            const huff_node& n = nodes[node];
            const std::uint16_t children[2] = {n.left, n.right};
            const unsigned one = (current & bit_masks[bit]) != 0;
            out_byte(out, static_cast<char>('0' + one));
            node = children[one];
            if (node == no_node)
                return;
        }
    }
}

} // namespace

int print_pack_strings(const pack_image& image, text_output& out)
{
    const bool verbose = verbose_level != 0;
    const bool huffman = image.num_nodes > 0;
    const std::size_t indent = verbose ? verbose_indent : normal_indent;
    const string_directory& directory = image.directory;
    for (std::uint32_t i = 0; i < directory.num_blocks; ++i) {
        const string_block& block = directory.blocks[i];
        for (std::uint32_t j = 0; j < block.count; ++j) {
            const std::uint64_t start = string_start(image.data, block, j);
            write_line_prefix(out, {i, j}, verbose, start);
            bool indent_pending = false;
            const int result = huffman ? print_huffman_text(image, start, indent, out, indent_pending)
                                       : print_xor_text(image, start, indent, out, indent_pending);
            if (result != 0)
                return -1;
            if (verbose && huffman) {
                // A final line feed of the text has already ended the line.
                if (!indent_pending)
                    out_byte(out, '\n');
                print_code_listing(image, start, out);
            }
            out_byte(out, '\n');
        }
    }
    return 0;
}
