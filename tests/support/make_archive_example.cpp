// Writes the example archive from its source text: make_archive_example SOURCE OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "tests/support/archive_builder.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make_archive_example SOURCE OUTPUT\n";
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "can't read " << argv[1] << "\n";
        return 1;
    }
    try {
        const byte_string archive = build_archive_from_text(text.str());
        std::ofstream out(argv[2], std::ios::binary);
        out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
        if (!out) {
            std::cerr << "can't write " << argv[2] << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
