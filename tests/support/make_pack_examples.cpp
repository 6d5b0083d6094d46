// Writes the example packed string tables from their committed source texts:
//   make_pack_examples EXAMPLES_DIR [OUT_DIR]
// reads EXAMPLES_DIR/strings_pak.txt and xor_pak.txt and writes STRINGS.PAK and
// XOR.PAK into OUT_DIR (default: EXAMPLES_DIR).
#include <cstdio>
#include <exception>

#include "tests/support/pack_builder.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("usage: make_pack_examples EXAMPLES_DIR [OUT_DIR]\n", stderr);
        return 2;
    }
    try {
        write_pack_examples(argv[1], argc == 3 ? argv[2] : argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_pack_examples: %s\n", e.what());
        return 1;
    }
    return 0;
}
