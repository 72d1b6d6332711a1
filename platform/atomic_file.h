// Writing an archive file so that the previous file is never lost: the
// archive goes to a new temporary file beside the target, is flushed and
// synced to disk, and only then renamed over the target; the folder is
// synced afterwards so the rename itself is durable. Through a symbolic link
// the file the link points at is replaced and the link stays.
#pragma once

#include <functional>
#include <string>

class CArchive;
class CFile;

namespace megcxc {

// Runs `write` on a storing archive over a temporary file beside `path` and
// renames the result over `path` (or over the target of the link `path`).
// The temporary file is created exclusively and gets the target's permission
// bits when the target exists (the umask's default otherwise). Returns "" on
// success; otherwise the reason in plain words (a directory, device, pipe
// or socket as target, a
// folder that is not writable, a write, sync or rename error, an exception
// from `write`), with the temporary file removed and the target untouched.
// `into`, when given, is the (closed) file object to write through, e.g. one
// that reports the bytes as they go; it is closed again on return.
std::string writeArchiveAtomically(const std::string& path, const std::function<void(CArchive&)>& write,
                                   CFile* into = nullptr);

// The same for a file of any kind: `write` fills the temporary file at the
// path it is given and returns "" or why it failed (it may also throw; the
// temporary file is removed then too). The file is synced before the rename.
std::string writeFileAtomically(const std::string& path,
                                const std::function<std::string(const std::string& tempPath)>& write);

// For programs: from now on, SIGINT, SIGTERM and SIGHUP first remove the
// temporary files of saves in progress (the targets are untouched by then)
// and then end the process as the signal would have. The library never
// installs signal handlers by itself; a host with handlers of its own calls
// removeTemporaryFilesNow from them instead.
void removeTemporaryFilesOnSignals();
// Removes the temporary files of saves in progress; async-signal-safe.
void removeTemporaryFilesNow();

}  // namespace megcxc
