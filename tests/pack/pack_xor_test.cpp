// Strings of a file without a code tree: XOR-chained bytes holding Shift-JIS text.
#include <random>

#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

const std::string indent13(13, ' ');
const std::string indent23(23, ' ');

// A file without nodes whose one block holds `strings`, stored as given.
pack_bytes chained(const std::vector<pack_bytes>& strings)
{
    return build_pack({}, {pack_block{4, strings}});
}

TEST(PackXor, EachStoredByteIsFoldedIntoTheRunningValue)
{
    // 0x41, 0x41^0x42, 0x42^0x7C.
    expect_completed(run_on(chained({{0x41, 0x03, 0x3E}})), "[  0][  0] = AB\n");
    // A stored 0x7C first is the end mark at once; the next string starts afresh.
    const pack_bytes file = chained({{0x7C}, {0x41, 0x3D}, {0x7C}});
    expect_completed(run_on(file), "[  0][  0] = \n[  0][  1] = A\n[  0][  2] = \n");
    tool_run run = run_verbose(file);
    EXPECT_EQ(run.out.substr(run.out.find("[  0][  0]")),
              "[  0][  0] +00000012 = \n[  0][  1] +00000013 = A\n[  0][  2] +00000015 = \n");
}

TEST(PackXor, LineFeedsIndentAndNoListingFollows)
{
    const pack_bytes file = chained({xor_encode("AB\nCD"), xor_encode("E\n")});
    expect_completed(run_on(file), "[  0][  0] = AB\n" + indent13 + "CD\n[  0][  1] = E\n\n");
    tool_run run = run_verbose(file);
    EXPECT_EQ(run.out.substr(run.out.find("[  0][  0]")),
              "[  0][  0] +00000010 = AB\n" + indent23 + "CD\n[  0][  1] +00000016 = E\n\n");
}

TEST(PackXor, EndMarkAsATrailByteIsText)
{
    // Lead bytes 0x81, 0x9F, 0xE0, 0xFC each take 0x7C as their trail; the string
    // ends at the next 0x7C. 0x80, 0xA0, 0xDF, 0xFD and 0xFF stand alone, so the 0x7C
    // after them ends the string.
    const std::string pairs = text_of({0x81, 0x7C, 0x9F, 0x7C, 0xE0, 0x7C, 0xFC, 0x7C, 0x00, 'x'});
    expect_completed(run_on(chained({xor_encode(pairs)})), "[  0][  0] = " + pairs + "\n");
    for (int single : {0x80, 0xA0, 0xDF, 0xFD, 0xFF}) {
        const std::string text(1, static_cast<char>(single));
        expect_completed(run_on(chained({xor_encode(text + "|tail")})), "[  0][  0] = " + text + "\n");
    }
}

TEST(PackXor, TrailBytesAreChecked)
{
    // Valid trail bytes at the edges of the range.
    const std::string good = text_of({0x81, 0x40, 0x81, 0x7E, 0x81, 0x80, 0xFC, 0xFC, 'z'});
    expect_completed(run_on(chained({xor_encode(good)})), "[  0][  0] = " + good + "\n");
    // The offending byte is written before the message.
    for (int trail : {0x7F, 0x3F, 0xFD, 0x0A, 0x00}) {
        const std::string text = text_of({'A', 0x82, static_cast<std::uint8_t>(trail)});
        expect_failed(run_on(chained({xor_encode("ok"), xor_encode(text + "more")})),
                      "[  0][  0] = ok\n[  0][  1] = " + text + "ERROR: illegal shift jis encoding\n");
    }
}

TEST(PackXor, StringThatRunsOffTheEndOfTheFile)
{
    // A lead byte last in the file: its trail would come from beyond the end.
    pack_bytes lead_last = xor_encode(text_of({'A', 0x82}));
    lead_last.pop_back();
    expect_failed(run_on(chained({xor_encode("ok"), lead_last})),
                  "[  0][  0] = ok\n[  0][  1] = A\x82\nERROR: buffer overrun\n");
    // A pair with 0x7C as its trail at the end of the file: no end mark follows.
    pack_bytes trail_last = xor_encode(text_of({0x82, 0x7C}));
    trail_last.pop_back();
    expect_failed(run_on(chained({trail_last})), "[  0][  0] = \x82|\nERROR: buffer overrun\n");
}

TEST(PackXor, RandomShiftJisTextsRoundTrip)
{
    std::mt19937 rng(7);
    auto below = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    auto single_byte = [&] { // anything that is neither a lead byte nor the end mark
        for (;;) {
            const unsigned b = below(256);
            if (b != 0x7C && !(b >= 0x81 && b <= 0x9F) && !(b >= 0xE0 && b <= 0xFC))
                return static_cast<char>(b);
        }
    };
    auto trail_byte = [&] {
        const unsigned b = below(4) == 0 ? 0x7C : 0x40 + below(0xFD - 0x40);
        return static_cast<char>(b == 0x7F ? 0x7C : b);
    };
    std::vector<std::string> texts;
    std::string expected;
    std::vector<pack_bytes> strings;
    for (std::size_t j = 0; j < 300; ++j) {
        std::string text;
        for (unsigned n = below(40); n > 0; --n) {
            if (below(2) == 0) {
                text += single_byte();
            } else {
                const unsigned lead = below(2) == 0 ? 0x81 + below(0x1F) : 0xE0 + below(0x1D);
                text += static_cast<char>(lead);
                text += trail_byte();
            }
        }
        std::string shown;
        for (std::size_t k = 0; k < text.size(); ++k) {
            shown += text[k];
            if (text[k] == '\n' && k + 1 < text.size())
                shown += indent13;
        }
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "[  0][%3.1zu] = ", j);
        expected += prefix + shown + "\n";
        strings.push_back(xor_encode(text));
    }
    expect_completed(run_on(chained(strings)), expected);
}

} // namespace
