#include "tools/cxc/archive_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/carchive.h"
#include "platform/cexception.h"
#include "platform/cfile.h"

namespace cxc {

namespace {

// Magics the library reads: the current one first, then the older one.
const char* const kCollectionMagics[] = {"SPCTM_CXC_FACEZQ", "SPCTMFACEZQ"};
const char* const kTrialMagics[] = {"SPCTM_CXC_TRIALZQ", "SPCTMTRIALZQ"};

bool isOneOf(const CString& s, const char* const (&magics)[2]) { return s == magics[0] || s == magics[1]; }

std::string errnoText(int err) { return std::strerror(err); }

// Opens `path` for reading or throws Error naming it.
void openForReading(CFile& file, const std::string& path) {
  if (!file.Open(path, CFile::modeRead)) refuse(path + ": cannot open: " + errnoText(errno));
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) refuse(path + ": is a directory, not a file");
}

// Runs `read` on a loading archive over `path` and turns every way it can go
// wrong into one Error line naming the file.
void readChecked(const std::string& path, MessageConsole& console, const char* what,
                 const std::function<int(CArchive&)>& read) {
  CFile file;
  openForReading(file, path);
  CArchive ar(&file, CArchive::load);
  console.resetCount();
  // A damaged file can repeat one refusal for every later pair: print each once.
  megcxc::RepeatedMessageFilter once;
  int ok = 0;
  try {
    ok = read(ar);
  } catch (const CArchiveException& e) {
    refuse(path + ": truncated or damaged " + what + " (" + e.what() + ")");
  } catch (const CMemoryException& e) {
    refuse(path + ": damaged " + what + " (" + e.what() + ")");
  } catch (const CFileException& e) {
    refuse(path + ": " + e.what());
  } catch (const std::bad_alloc&) {
    refuse(path + ": not enough memory to read the " + what);
  }
  if (!ok) refuse(path + ": the library refused the " + std::string(what) + " (see the message above)");
  if (console.shown() > 0) refuse(path + ": damaged " + std::string(what) + ": a part of it was refused (see above)");
  const int64_t left = ar.bytesRemaining();
  if (left > 0) {
    refuse(path + ": damaged " + std::string(what) + ": " + std::to_string(left) + " unexpected byte(s) after its end");
  }
}

}  // namespace

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

int64_t fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

ArchiveHeader readArchiveHeader(const std::string& path) {
  CFile file;
  openForReading(file, path);
  CArchive ar(&file, CArchive::load);
  CString magic;
  int32_t version = 0;
  try {
    ar >> magic;
    ar >> version;
  } catch (const CException&) {
    refuse(path + ": not a cxc collection or trial archive (no archive header)");
  } catch (const std::bad_alloc&) {
    refuse(path + ": not a cxc collection or trial archive (no archive header)");
  }
  ArchiveHeader header;
  header.magic = magic.toUtf8();
  header.version = version;
  if (isOneOf(magic, kCollectionMagics)) {
    header.kind = ArchiveKind::collection;
  } else if (isOneOf(magic, kTrialMagics)) {
    header.kind = ArchiveKind::trial;
  } else {
    refuse(path + ": not a cxc collection or trial archive (unknown header)");
  }
  return header;
}

ArchiveHeader loadCollectionFile(const std::string& path, Collection& collection, MessageConsole& console,
                                 bool acceptTrial) {
  const ArchiveHeader header = readArchiveHeader(path);
  if (header.kind == ArchiveKind::trial) {
    if (!acceptTrial) {
      refuse(path + ": is a single trial archive, not a collection file (cxc import or a collection is needed)");
    }
    Dataset* dataset = new (std::nothrow) Dataset();
    if (!dataset) refuse(path + ": not enough memory");
    collection.addSpctmDataSet(dataset, 0);
    readChecked(path, console, "trial archive", [dataset](CArchive& ar) { return dataset->serializeTrlSpctmZq(ar); });
    collection.currentClass = 0;
    return header;
  }
  readChecked(path, console, "collection file",
              [&collection](CArchive& ar) { return collection.serializeSpctmFace(ar); });
  return header;
}

ArchiveHeader loadTrialFile(const std::string& path, Dataset& dataset, MessageConsole& console) {
  const ArchiveHeader header = readArchiveHeader(path);
  if (header.kind != ArchiveKind::trial) refuse(path + ": is a collection file, not a single trial archive");
  readChecked(path, console, "trial archive", [&dataset](CArchive& ar) { return dataset.serializeTrlSpctmZq(ar); });
  return header;
}

void saveAtomically(const std::string& path, const std::function<void(CArchive&)>& write) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) refuse(path + ": is a directory");
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = dir + "/." + base + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) refuse(path + ": cannot create a temporary file in " + dir + ": " + errnoText(errno));
  ::close(fd);
  const std::string tmp(name.data());
  // mkstemp makes the file private; give it the target's permissions, or
  // those a new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  mode_t mode = 0666 & ~mask;
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  ::chmod(tmp.c_str(), mode);
  try {
    CFile file(tmp, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
    file.syncToDisk();
    file.Close();
  } catch (const CException& e) {
    ::unlink(tmp.c_str());
    refuse(path + ": cannot write: " + e.what());
  } catch (const std::bad_alloc&) {
    ::unlink(tmp.c_str());
    refuse(path + ": cannot write: not enough memory");
  } catch (...) {
    ::unlink(tmp.c_str());
    throw;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    refuse(path + ": cannot replace: " + errnoText(err));
  }
  // Make the rename itself durable; failing here loses nothing already written.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

void saveCollectionFile(const std::string& path, Collection& collection) {
  saveAtomically(path, [&collection](CArchive& ar) { collection.serializeSpctmFace(ar); });
}

void saveTrialFile(const std::string& path, Dataset& dataset) {
  saveAtomically(path, [&dataset](CArchive& ar) { dataset.serializeTrlSpctmZq(ar); });
}

}  // namespace cxc
