#include "io/file_io.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Why `file` failed a read: the system's reason after an error, none at the end of the file.
sys_reason read_reason(std::FILE* file)
{
    return std::ferror(file) ? errno_reason(errno) : sys_reason{};
}

} // namespace

bool file_seek(std::FILE* file, std::uint64_t offset)
{
#if defined(_WIN32)
    return offset <= INT64_MAX && _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
           fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool file_length(std::FILE* file, std::uint64_t& length)
{
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return false;
    const __int64 end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return false;
    const off_t end = ftello(file);
#endif
    if (end < 0)
        return false;
    length = static_cast<std::uint64_t>(end);
    return true;
}

byte_source file_source(std::string path)
{
    byte_source source;
    source.path = std::move(path);
    return source;
}

byte_source memory_source(std::string path, std::span<const std::uint8_t> bytes)
{
    byte_source source;
    source.path = std::move(path);
    source.in_memory = true;
    source.memory = bytes;
    return source;
}

status source_open(byte_source& source)
{
    if (source.in_memory) {
        source.size = source.memory.size();
        return {};
    }
    errno = 0;
    source.file.reset(std::fopen(source.path.c_str(), "rb"));
    if (!source.file) {
        // Windows refuses to open a folder as a file with a denied access.
        sys_reason reason = errno_reason(errno);
        std::error_code error;
        if (std::filesystem::is_directory(source.path, error))
            reason = {sys_error::is_directory, reason.code};
        return fail(failure::cant_open, reason);
    }
#if !defined(_WIN32)
    // A folder opens here, and its read fails, whatever size it claims: before anything is
    // allocated for that size.
    struct stat st;
    if (fstat(fileno(source.file.get()), &st) == 0 && S_ISDIR(st.st_mode))
        return fail(failure::cant_read, {sys_error::is_directory, EISDIR});
#endif
    if (!file_length(source.file.get(), source.size))
        return fail(failure::cant_seek, errno_reason(errno));
    return {};
}

void source_close(byte_source& source)
{
    source.file.reset();
}

status source_read(byte_source& source, std::uint64_t offset, std::span<std::uint8_t> into)
{
    if (source.in_memory) {
        if (offset > source.size || into.size() > source.size - offset)
            return fail(failure::cant_read);
        std::copy_n(source.memory.data() + offset, into.size(), into.data());
        return {};
    }
    if (!file_seek(source.file.get(), offset))
        return fail(failure::cant_seek, errno_reason(errno));
    // One request for one item of the whole size: a short read delivers no item.
    if (!into.empty() && std::fread(into.data(), into.size(), 1, source.file.get()) != 1)
        return fail(failure::cant_read, read_reason(source.file.get()));
    return {};
}

status read_whole_file(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    byte_source source = file_source(path);
    status s = source_open(source);
    if (!failed(s)) {
        try {
            bytes.resize(static_cast<std::size_t>(source.size));
        } catch (const std::exception&) {
            s = fail(failure::memory);
        }
    }
    if (!failed(s))
        s = source_read(source, 0, bytes);
    source_close(source);
    return s;
}

status read_standard_input(std::vector<std::uint8_t>& bytes)
{
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    bytes.clear();
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, stdin);
        try {
            bytes.insert(bytes.end(), chunk, chunk + got);
        } catch (const std::exception&) {
            return fail(failure::memory);
        }
        if (got < sizeof chunk)
            return std::ferror(stdin) != 0 ? fail(failure::cant_read, read_reason(stdin)) : status{};
    }
}

status source_read_at(byte_source& source, std::uint64_t offset, std::span<std::uint8_t> into)
{
    if (source.in_memory)
        return source_read(source, offset, into);
    // One request reads at most 1 GiB; a request that delivers nothing ends the file.
    constexpr std::size_t most = std::size_t{1} << 30;
    std::size_t done = 0;
#if defined(_WIN32)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(source.file.get())));
    while (done < into.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!ReadFile(handle, into.data() + done, static_cast<DWORD>(std::min(into.size() - done, most)), &got, &where) ||
            got == 0)
            return fail(failure::cant_read);
        done += got;
    }
#else
    const int fd = fileno(source.file.get());
    while (done < into.size()) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(INT64_MAX))
            return fail(failure::cant_read);
        const ssize_t got = pread(fd, into.data() + done, std::min(into.size() - done, most), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return fail(failure::cant_read);
        done += static_cast<std::size_t>(got);
    }
#endif
    return {};
}

status source_page(byte_source& source, std::uint64_t offset, std::uint64_t length, paged_bytes& bytes)
{
    bytes = paged_bytes{};
    bytes.offset = offset;
    if (offset > source.size || length > source.size - offset)
        return fail(failure::cant_read);
    if (source.in_memory) {
        bytes.data = source.memory.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
        return {};
    }
    try {
        // Not written here: the pages of the chunks never read are never touched.
        bytes.owned = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(length));
        if (length > paged_whole)
            bytes.chunk_read.assign(static_cast<std::size_t>((length + paged_chunk - 1) / paged_chunk), 0);
    } catch (const std::bad_alloc&) {
        bytes.owned.reset();
        return fail(failure::memory);
    }
    const std::span<std::uint8_t> into(bytes.owned.get(), static_cast<std::size_t>(length));
    bytes.data = into;
    if (length > paged_whole) {
        bytes.source = &source;
#if defined(MADV_HUGEPAGE)
        // Large pages where the system gives them on request: a file read through costs a
        // page fault per 2 MiB, not per 4 KiB. Only advice, and only up to a size at which
        // tables that touch every large page cannot make the memory much more.
        const auto first = (reinterpret_cast<std::uintptr_t>(into.data()) + 4095) & ~std::uintptr_t{4095};
        const auto end = reinterpret_cast<std::uintptr_t>(into.data() + into.size()) & ~std::uintptr_t{4095};
        if (length <= paged_large_pages && first < end)
            madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
        return {};
    }
    const status s = source_read_at(source, offset, into);
    if (failed(s))
        bytes = paged_bytes{};
    return s;
}

status paged_need(paged_bytes& bytes, std::uint64_t from, std::uint64_t to)
{
    const std::uint64_t size = bytes.data.size();
    to = std::min(to, size);
    if (bytes.source == nullptr || from >= to)
        return {};
    for (std::uint64_t c = from / paged_chunk; c <= (to - 1) / paged_chunk; ++c) {
        if (bytes.chunk_read[static_cast<std::size_t>(c)] != 0)
            continue;
        const std::uint64_t first = c * paged_chunk;
        const std::uint64_t length = std::min(paged_chunk, size - first);
        const status s = source_read_at(*bytes.source, bytes.offset + first,
                                        {bytes.owned.get() + first, static_cast<std::size_t>(length)});
        if (failed(s))
            return s;
        bytes.chunk_read[static_cast<std::size_t>(c)] = 1;
    }
    return {};
}

status paged_reach(paged_bytes& bytes, std::uint64_t position, std::uint64_t& limit)
{
    if (paged_ready(bytes, position, limit))
        return {};
    limit = std::min<std::uint64_t>(bytes.data.size(), (position / paged_chunk + 1) * paged_chunk);
    return paged_need(bytes, position, position + 1);
}
