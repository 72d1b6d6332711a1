#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/carchive.h"
#include "platform/cexception.h"
#include "platform/cfile.h"

namespace megcxc {

namespace {

std::filesystem::path folderOf(const std::string& target) {
  const std::filesystem::path t(target);
  return t.has_parent_path() ? t.parent_path() : std::filesystem::path(".");
}

// Creates a new, empty file next to `target` with a name no other file has
// (O_EXCL), with the target's permission bits when the target exists. Returns
// its path, or an empty string with errno set.
std::string createTempBeside(const std::string& target) {
  const std::filesystem::path dir = folderOf(target);
  const std::string base = std::filesystem::path(target).filename().string();
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(::getpid()), ++counter);
    const std::string candidate = (dir / ("." + base + suffix)).string();
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
    ::close(fd);
    return candidate;
  }
  errno = EEXIST;
  return {};
}

// Asks the kernel to make the rename itself durable; best effort (some file
// systems refuse to sync a directory, which changes nothing for the caller).
void syncFolder(const std::string& target) {
  const int fd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The temporary files of the saves in progress, for removal from a signal
// handler: a slot is claimed (state 1), filled, published (state 2) and
// released (state 0); a handler only reads published slots.
struct TempSlot {
  std::atomic<int> state{0};
  char path[PATH_MAX];
};
constexpr int kTempSlots = 16;
TempSlot g_tempSlots[kTempSlots];

// Publishes `path` while alive (when it fits and a slot is free).
class TrackedTemp {
 public:
  explicit TrackedTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return;
    for (TempSlot& s : g_tempSlots) {
      int expected = 0;
      if (!s.state.compare_exchange_strong(expected, 1)) continue;
      std::memcpy(s.path, path.c_str(), path.size() + 1);
      s.state.store(2);
      slot_ = &s;
      return;
    }
  }
  ~TrackedTemp() {
    if (slot_) slot_->state.store(0);
  }
  TrackedTemp(const TrackedTemp&) = delete;
  TrackedTemp& operator=(const TrackedTemp&) = delete;

 private:
  TempSlot* slot_ = nullptr;
};

void onTerminatingSignal(int sig) {
  removeTemporaryFilesNow();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void removeTemporaryFilesNow() {
  for (TempSlot& s : g_tempSlots) {
    if (s.state.load() == 2) ::unlink(s.path);
  }
}

void removeTemporaryFilesOnSignals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, onTerminatingSignal);
}

std::string writeFileAtomically(const std::string& path, const std::function<std::string(const std::string&)>& write) {
  // Through a symbolic link the file it points at is replaced, not the link.
  std::string target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target = real.string();
  }
  if (std::filesystem::is_directory(target, ec)) return "is a directory";
  // A device, pipe or socket is not replaced by a file of the same name.
  if (std::filesystem::exists(target, ec) && !std::filesystem::is_regular_file(target, ec)) {
    return "is not a regular file";
  }
  const std::string temp = createTempBeside(target);
  if (temp.empty()) return std::string("cannot create a file in its folder: ") + std::strerror(errno);
  const TrackedTemp tracked(temp);
  std::string failure;
  try {
    failure = write(temp);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  if (failure.empty()) {
    // Whatever wrote the file, its bytes are on disk before the rename.
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) failure = std::string("cannot sync: ") + std::strerror(errno);
    if (fd >= 0) ::close(fd);
  }
  if (failure.empty() && std::rename(temp.c_str(), target.c_str()) != 0) failure = std::strerror(errno);
  if (!failure.empty()) {
    ::unlink(temp.c_str());
    return failure;
  }
  syncFolder(target);
  return {};
}

std::string writeArchiveAtomically(const std::string& path, const std::function<void(CArchive&)>& write,
                                   CFile* into) {
  return writeFileAtomically(path, [&write, into](const std::string& temp) -> std::string {
    try {
      CFile own;
      CFile& file = into ? *into : own;
      if (!file.Open(temp, CFile::modeCreate | CFile::modeWrite)) return std::strerror(errno);
      {
        CArchive ar(&file, CArchive::store);
        write(ar);
        ar.Close();
      }
      file.syncToDisk();
      file.Close();
    } catch (const CException& e) {
      return e.what();
    } catch (const std::bad_alloc&) {
      return "not enough memory";
    }
    return {};
  });
}

}  // namespace megcxc
