// Writes the example files from their committed source texts:
//   make_examples EXAMPLES_DIR [OUT_DIR]
// reads kestra.txt, strings_pak.txt and xor_pak.txt from EXAMPLES_DIR and writes
// KESTRA, STRINGS.PAK and XOR.PAK into OUT_DIR (default: EXAMPLES_DIR).
#include <cstdio>
#include <string>

#include "tests/support/sources.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("usage: make_examples EXAMPLES_DIR [OUT_DIR]\n", stderr);
        return 2;
    }
    std::string error;
    if (!write_examples(argv[1], argc == 3 ? argv[2] : argv[1], error)) {
        std::fprintf(stderr, "make_examples: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
