#pragma once
// Output files that appear whole or not at all. The bytes go to a temporary file created
// beside the target, which is written, flushed, synced to disk, closed, and only then
// renamed over the target; the folder is synced after the rename (where the platform
// allows it). A target that is a symbolic link is resolved first: the link stays and
// the file it names is replaced. An existing target keeps its permission bits; a new one
// gets the usual 0666 less the umask.
//
// The temporary file is removed on every failure, and when the process is ended by
// SIGINT, SIGTERM or SIGHUP (on Windows: Ctrl-C, Ctrl-Break or the console closing),
// after which the signal takes its course, so the exit status still tells what happened.
//
//   output_file out;
//   switch (output_file_open(path, inputs, out)) { ... }   // refused: nothing written
//   fwrite(..., out.stream.get());
//   if (!output_file_commit(out)) ...                       // the temporary file is gone
//
// Every function here returns its result; none throws.
#include <cstddef>
#include <span>
#include <string>

#include "io/file_io.h"

struct output_file {
    std::string path;      // as given: the name for messages
    std::string target;    // the file the rename replaces: `path` with its links resolved
    std::string temporary; // the temporary file beside `target`, while it exists
    file_handle stream;    // open from output_file_open until output_file_close
    std::size_t input = 0; // after is_input: the index of the input that `path` names
    int slot = -1;         // where the removal on a signal keeps `temporary`
    bool failed = false;   // a write, the sync or the close failed: no commit
    sys_reason reason;     // why the open, a write, the sync, the close or the rename failed

    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file(); // discards a temporary file that was not committed
};

enum class output_opened {
    ok,
    is_input,    // `path` names one of the inputs (by file identity, under any name)
    cant_create, // the target is a folder or no regular file, or the temporary file cannot
                 // be created beside it (file.reason says why)
};

// Whether `path` (its links followed) names one of `inputs` by file identity: device
// and inode (on Windows: volume and file index). `which` is then that input's index.
bool output_names_input(const std::string& path, std::span<const std::string> inputs, std::size_t& which);

// Refuses a `path` that names one of `inputs`, by device and inode (on Windows: volume
// and file index), before anything is created; otherwise creates the temporary file,
// exclusively and under a name of its own, open for writing through `file.stream`.
output_opened output_file_open(const std::string& path, std::span<const std::string> inputs, output_file& file);

// Writes out what `file.stream` holds, syncs it to disk and closes it; the temporary file
// stays, to be read back by its name before the commit. Returns false when any write
// since the open, the sync or the close failed (the temporary file stays until the
// commit or discard).
bool output_file_close(output_file& file);

// Closes the temporary file if it is still open (as output_file_close) and renames it
// over the target. Returns false when a write or the rename failed; the temporary file is
// removed then and the target is as it was.
bool output_file_commit(output_file& file);

// Closes and removes the temporary file; the target is as it was.
void output_file_discard(output_file& file);
