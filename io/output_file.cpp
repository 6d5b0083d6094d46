#include "io/output_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
// glibc's <fcntl.h> declares a struct file_handle (for open_by_handle_at), which the
// project's file_handle would clash with: it is renamed here.
#define file_handle glibc_file_handle
#include <fcntl.h>
#undef file_handle
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The temporary files that a signal removes, by name, in static storage: the handler
// reads only these. A slot is filled and emptied with the signals held off (on Windows:
// under a lock that the console handler takes too).
constexpr int slot_count = 4;
constexpr std::size_t name_capacity = 4096;
char slot_names[slot_count][name_capacity];
int slots_in_use = 0;

#if defined(_WIN32)

volatile bool slot_used[slot_count];
SRWLOCK slot_lock = SRWLOCK_INIT;
DWORD pending_event = 0; // a console event that found a temporary file open for reading

void remove_all_slots_locked()
{
    for (int i = 0; i < slot_count; ++i)
        if (slot_used[i])
            DeleteFileA(slot_names[i]);
}

// Runs in a thread of its own that the system starts for the event. The temporary files
// are opened with FILE_SHARE_DELETE, so they can be deleted while the writer has them open:
// they go when the process ends. The lock is kept: the writer, at its next rename or
// removal, waits for the end, which the default handler brings after this one returns.
BOOL WINAPI remove_on_console_event(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    AcquireSRWLockExclusive(&slot_lock);
    bool removed = true;
    for (int i = 0; i < slot_count; ++i)
        if (slot_used[i] && !DeleteFileA(slot_names[i]) && GetLastError() != ERROR_FILE_NOT_FOUND)
            removed = false;
    if (removed)
        return FALSE;
    // A temporary file open without FILE_SHARE_DELETE (being read back by its name) cannot
    // go yet: the writer removes it and ends the process at its next step.
    pending_event = event;
    ReleaseSRWLockExclusive(&slot_lock);
    return TRUE;
}

void hold_removal()
{
    AcquireSRWLockExclusive(&slot_lock);
    if (pending_event != 0) {
        remove_all_slots_locked();
        ExitProcess(STATUS_CONTROL_C_EXIT);
    }
}

void release_removal()
{
    ReleaseSRWLockExclusive(&slot_lock);
}

void catch_signals()
{
    SetConsoleCtrlHandler(remove_on_console_event, TRUE);
}

void restore_signals()
{
    SetConsoleCtrlHandler(remove_on_console_event, FALSE);
}

#else

volatile std::sig_atomic_t slot_used[slot_count];
constexpr int caught[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int caught_count = 3;
struct sigaction previous[caught_count];
bool installed[caught_count];
sigset_t held_mask;

void caught_set(sigset_t& set)
{
    sigemptyset(&set);
    for (const int sig : caught)
        sigaddset(&set, sig);
}

// Async-signal-safe: unlink, sigaction and raise only. The signal is raised again with the
// action it had before (the default in the tools), so that it ends the process when this
// handler returns and the exit status says which signal it was.
extern "C" void remove_on_signal(int sig)
{
    const int saved_errno = errno;
    for (int i = 0; i < slot_count; ++i)
        if (slot_used[i])
            unlink(slot_names[i]);
    for (int k = 0; k < caught_count; ++k)
        if (caught[k] == sig)
            sigaction(sig, &previous[k], nullptr);
    raise(sig);
    errno = saved_errno;
}

void hold_removal()
{
    sigset_t set;
    caught_set(set);
    pthread_sigmask(SIG_BLOCK, &set, &held_mask);
}

void release_removal()
{
    pthread_sigmask(SIG_SETMASK, &held_mask, nullptr);
}

// A signal that is ignored (SIGHUP under nohup) stays ignored. The action found is never
// this handler itself, which would raise its signal again and again.
void catch_signals()
{
    struct sigaction action {};
    action.sa_handler = remove_on_signal;
    caught_set(action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int k = 0; k < caught_count; ++k) {
        installed[k] = sigaction(caught[k], nullptr, &previous[k]) == 0 &&
                       ((previous[k].sa_flags & SA_SIGINFO) != 0 || previous[k].sa_handler != SIG_IGN) &&
                       sigaction(caught[k], &action, nullptr) == 0;
        if (installed[k] && previous[k].sa_handler == remove_on_signal)
            previous[k].sa_handler = SIG_DFL;
    }
}

void restore_signals()
{
    for (int k = 0; k < caught_count; ++k)
        if (installed[k])
            sigaction(caught[k], &previous[k], nullptr);
}

#endif

// Called with the removal held. Returns the slot, or -1 when none is free or the name
// does not fit.
int fill_slot(const std::string& name)
{
    if (name.size() >= name_capacity)
        return -1;
    for (int i = 0; i < slot_count; ++i)
        if (!slot_used[i]) {
            std::memcpy(slot_names[i], name.c_str(), name.size() + 1);
            slot_used[i] = 1;
            if (slots_in_use++ == 0)
                catch_signals();
            return i;
        }
    return -1;
}

void empty_slot(int slot)
{
    if (slot < 0)
        return;
    slot_used[slot] = 0;
    if (--slots_in_use == 0)
        restore_signals();
}

// Where a file is: the same pair for two names of one file.
struct file_identity {
    std::uint64_t device = 0, index = 0;
};

#if defined(_WIN32)

bool identify(const std::string& path, file_identity& id)
{
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known)
        return false;
    id.device = info.dwVolumeSerialNumber;
    id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    return true;
}

// The reason of the system's last error, for a failed call of the Windows API.
sys_reason system_reason()
{
    const DWORD code = GetLastError();
    const int value = static_cast<int>(code);
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return {sys_error::no_such_file, value};
    case ERROR_ACCESS_DENIED: return {sys_error::permission_denied, value};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return {sys_error::disk_full, value};
    default: return {sys_error::other, value};
    }
}

// Windows keeps no permission bits beyond the read-only attribute: a new file is made.
// Returns null with `exists` set when the name is taken, and `reason` set.
std::FILE* create_exclusive(const std::string& name, const std::string&, bool& exists, sys_reason& reason)
{
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        exists = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
        reason = system_reason();
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        reason = errno_reason(errno);
        CloseHandle(handle);
        DeleteFileA(name.c_str());
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "wb");
    if (!stream) {
        reason = errno_reason(errno);
        _close(fd);
        DeleteFileA(name.c_str());
    }
    return stream;
}

bool sync_stream(std::FILE* stream)
{
    return _commit(_fileno(stream)) == 0; // FlushFileBuffers
}

bool rename_over(const std::string& from, const std::string& to, sys_reason& reason)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    reason = system_reason();
    return false;
}

void remove_name(const std::string& name)
{
    DeleteFileA(name.c_str());
}

// A folder cannot be synced on Windows; MOVEFILE_WRITE_THROUGH has written the rename.
void sync_folder(const std::string&) {}

long process_number()
{
    return static_cast<long>(GetCurrentProcessId());
}

#else

bool identify(const std::string& path, file_identity& id)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

// Created with 0666, which the umask turns into the usual mode of a new file; a file
// replacing an existing one is created private and then given that file's bits.
std::FILE* create_exclusive(const std::string& name, const std::string& target, bool& exists, sys_reason& reason)
{
    struct stat st;
    const bool replacing = stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        reason = errno_reason(errno);
        return nullptr;
    }
    std::FILE* stream = nullptr;
    if (!replacing || fchmod(fd, st.st_mode & 07777) == 0)
        stream = fdopen(fd, "wb");
    if (!stream) {
        reason = errno_reason(errno);
        close(fd);
        unlink(name.c_str());
    }
    return stream;
}

bool sync_stream(std::FILE* stream)
{
    return fsync(fileno(stream)) == 0;
}

bool rename_over(const std::string& from, const std::string& to, sys_reason& reason)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    reason = errno_reason(errno);
    return false;
}

void remove_name(const std::string& name)
{
    unlink(name.c_str());
}

// Makes the rename itself durable. The new file is in place already: a folder that cannot
// be synced (some file systems refuse) is no failure of the write.
void sync_folder(const std::string& target)
{
    std::string folder = std::filesystem::path(target).parent_path().string();
    if (folder.empty())
        folder = ".";
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

long process_number()
{
    return static_cast<long>(getpid());
}

#endif

// `path` with its symbolic links followed, as far as they lead (a link to a file that
// does not exist yet names the file to create).
std::string resolve_links(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::path at = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(at, error) || error)
            break;
        const fs::path next = fs::read_symlink(at, error);
        if (error)
            break;
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return at.string();
}

// A name of its own beside the target: the process number and a number that differs
// from call to call.
std::string temporary_name(const std::string& target, int attempt)
{
    static std::uint64_t counter = 0;
    std::uint64_t mix = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) +
                        ++counter * 0x9E3779B97F4A7C15u + static_cast<std::uint64_t>(attempt);
    mix = (mix ^ (mix >> 31)) * 0xBF58476D1CE4E5B9u;
    return target + ".tmp" + std::to_string(process_number()) + "-" + std::to_string((mix ^ (mix >> 29)) % 1000000);
}

} // namespace

bool output_names_input(const std::string& path, std::span<const std::string> inputs, std::size_t& which)
{
    file_identity out;
    if (!identify(resolve_links(path), out))
        return false;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        file_identity in;
        if (identify(inputs[i], in) && in.device == out.device && in.index == out.index) {
            which = i;
            return true;
        }
    }
    return false;
}

output_file::~output_file()
{
    output_file_discard(*this);
}

output_opened output_file_open(const std::string& path, std::span<const std::string> inputs, output_file& file)
{
    output_file_discard(file);
    file.path = path;
    file.target = resolve_links(path);
    file.failed = false;
    file.reason = {};
    if (output_names_input(path, inputs, file.input))
        return output_opened::is_input;
    // A folder would take the temporary file beside it, and refuse only the rename; a
    // device or a pipe would be replaced by a file.
    std::error_code error;
    const std::filesystem::file_status existing = std::filesystem::status(file.target, error);
    if (std::filesystem::is_directory(existing)) {
        file.reason = {sys_error::is_directory, EISDIR};
        return output_opened::cant_create;
    }
    if (std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing)) {
        file.reason = {sys_error::not_a_file, 0};
        return output_opened::cant_create;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporary_name(file.target, attempt);
        bool exists = false;
        hold_removal();
        std::FILE* stream = create_exclusive(name, file.target, exists, file.reason);
        const int slot = stream ? fill_slot(name) : -1;
        if (stream && slot < 0) {
            std::fclose(stream);
            remove_name(name);
        }
        release_removal();
        if (slot >= 0) {
            file.stream.reset(stream);
            file.temporary = name;
            file.slot = slot;
            return output_opened::ok;
        }
        if (!exists)
            break;
    }
    return output_opened::cant_create;
}

bool output_file_close(output_file& file)
{
    if (!file.stream)
        return !file.failed && !file.temporary.empty();
    std::FILE* stream = file.stream.release();
    // The first failure gives the reason (a failed write leaves the stream's error set).
    errno = 0;
    bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0 && sync_stream(stream);
    if (!written)
        file.reason = errno_reason(errno);
    if (std::fclose(stream) != 0 && written) {
        file.reason = errno_reason(errno);
        written = false;
    }
    file.failed = !written;
    return !file.failed;
}

bool output_file_commit(output_file& file)
{
    if (!output_file_close(file)) {
        output_file_discard(file);
        return false;
    }
    hold_removal();
    const bool renamed = rename_over(file.temporary, file.target, file.reason);
    if (renamed) {
        empty_slot(file.slot);
        file.slot = -1;
        file.temporary.clear();
    }
    release_removal();
    if (!renamed) {
        output_file_discard(file);
        return false;
    }
    sync_folder(file.target);
    return true;
}

void output_file_discard(output_file& file)
{
    if (file.stream)
        std::fclose(file.stream.release());
    if (!file.temporary.empty()) {
        hold_removal();
        remove_name(file.temporary);
        empty_slot(file.slot);
        release_removal();
        file.slot = -1;
        file.temporary.clear();
    }
    file.failed = false;
}
