#include <cstdio>
#include <new>

#include "common/frame.h"
#include "pack_strings/pack.h"

// Sizes from 4 GiB up do not fit the 32-bit offsets of the format and are refused.
static constexpr std::uint64_t size_limit = std::uint64_t{1} << 32;

int load_whole_file(const std::string& name, text_output& out,
                    std::unique_ptr<std::uint8_t[]>& buffer, std::uint64_t& size)
{
    buffer.reset();
    size = 0;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        report_cant_open(out, name);
        return -1;
    }
    if (std::fseek(file, 0, SEEK_END) != 0) {
        report_cant_seek(out, name);
        std::fclose(file);
        return -1;
    }
    const long end = std::ftell(file); // -1 when the position cannot be told
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        report_cant_seek(out, name);
        std::fclose(file);
        return -1;
    }
    // An empty file, an untellable position and a file too large for the format all
    // end as a read that cannot deliver the whole file. Nothing is allocated for them.
    if (end <= 0 || static_cast<std::uint64_t>(end) >= size_limit) {
        report_cant_read(out, name);
        std::fclose(file);
        return -1;
    }
    const auto length = static_cast<std::size_t>(end);
    try {
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(length);
    } catch (const std::bad_alloc&) {
        report_memory_exhausted(out);
        std::fclose(file);
        return -1;
    }
    // One request for one item of the whole size: a short read delivers no item.
    if (std::fread(buffer.get(), length, 1, file) != 1) {
        buffer.reset();
        report_cant_read(out, name);
        std::fclose(file);
        return -1;
    }
    std::fclose(file);
    size = length;
    return 0;
}

int dump_pack(const std::string& name, text_output& out, pack_image& image)
{
    std::uint64_t size = 0;
    if (load_whole_file(name, out, image.buffer, size) != 0)
        return -1;
    const std::span<const std::uint8_t> bytes(image.buffer.get(), static_cast<std::size_t>(size));
    if (parse_pack_tables(bytes, out, image) != 0)
        return -1;
    return print_pack_strings(image, out);
}
