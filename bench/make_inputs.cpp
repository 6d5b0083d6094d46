// make_inputs OUT_DIR [MEGABYTES]: writes the measured inputs into OUT_DIR, each with
// about MEGABYTES (default 32, fractions allowed) of text: huffman.pak, xor.pak and
// archive.dat (whose sections 8 and 43 hold that much each); and the four hostile
// inputs of inputs.h.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/inputs.h"

static bool save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.flush())
        return true;
    std::fprintf(stderr, "make_inputs: can't write %s\n", path.c_str());
    return false;
}

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("usage: make_inputs OUT_DIR [MEGABYTES]\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    const auto text_bytes = static_cast<std::uint64_t>((argc == 3 ? std::strtod(argv[2], nullptr) : 32) * (1 << 20));
    const struct {
        const char* name;
        bool (*make)(std::uint64_t, std::uint64_t, std::vector<std::uint8_t>&, std::string&);
    } inputs[] = {{"huffman.pak", make_huffman_pack}, {"xor.pak", make_xor_pack}, {"archive.dat", make_archive}};
    for (const auto& input : inputs) {
        std::vector<std::uint8_t> bytes;
        std::string error;
        if (!input.make(text_bytes, 1, bytes, error)) {
            std::fprintf(stderr, "make_inputs: %s: %s", input.name, error.c_str());
            return 1;
        }
        if (!save(dir + "/" + input.name, bytes))
            return 1;
    }
    const struct {
        const char* name;
        void (*make)(bool, std::vector<std::uint8_t>&);
        bool archive;
    } hostile[] = {{"shared_lists.pak", make_shared_lists, false}, {"shared_lists.dat", make_shared_lists, true},
                   {"overlapping_lists.pak", make_overlapping_lists, false},
                   {"overlapping_lists.dat", make_overlapping_lists, true}};
    for (const auto& input : hostile) {
        std::vector<std::uint8_t> bytes;
        input.make(input.archive, bytes);
        if (!save(dir + "/" + input.name, bytes))
            return 1;
    }
    return 0;
}
