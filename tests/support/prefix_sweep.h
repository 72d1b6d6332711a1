// Streams cut short and streams that cannot tell their length: the prefix
// sweep every archive reader must pass, a memory file that behaves like a
// pipe, a real pipe, and the process's peak memory around a read.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/carchive.h"
#include "platform/cexception.h"
#include "platform/cfile.h"
#include "support/archive_bytes.h"
#include "support/message_recorder.h"

namespace megcxc::test {

// A memory file that tells neither its length nor its position and is read
// through the archive's buffer, as a pipe.
class UnsizedMemFile : public BufferedMemFile {
 public:
  using BufferedMemFile::BufferedMemFile;
  int64_t GetLength() const override { return -1; }
  int64_t GetPosition() const override { return -1; }
};

// Reads every proper prefix of `bytes` into a fresh Record with
// `read(record, archive)`, once from a stream that tells its length and once
// from one that does not, and runs `check(record)` after each. Every cut must
// end in the end-of-file exception, at an offset inside the prefix and naming
// the field being read, with no message shown: a reader that runs out of
// bytes never reports it as anything else. Returns the cuts that did.
// The text of the end-of-file exception `read()` ends in ("" when it does not).
template <class Read>
std::string endOfArchiveText(Read&& read) {
  try {
    read();
  } catch (const CArchiveException& e) {
    if (e.m_cause == CArchiveException::endOfFile) return e.what();
  }
  return "";
}

template <class Record, class Read, class Check>
std::size_t sweepPrefixes(const std::vector<uint8_t>& bytes, Read&& read, Check&& check) {
  std::size_t ranOut = 0;
  for (const bool sized : {true, false}) {
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
      const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      std::unique_ptr<CMemFile> file =
          sized ? std::make_unique<CMemFile>(part) : std::make_unique<UnsizedMemFile>(part);
      CArchive ar(file.get(), CArchive::load);
      Record record;
      MessageRecorder messages;
      std::string how;
      try {
        how = "result " + std::to_string(read(record, ar));
      } catch (const CArchiveException& e) {
        if (e.m_cause == CArchiveException::endOfFile && e.m_offset >= 0 &&
            e.m_offset <= static_cast<int64_t>(cut) && !e.m_place.empty()) {
          ++ranOut;
        } else {
          how = e.what();
        }
      } catch (const CException& e) {
        how = e.what();
      }
      for (const std::string& m : messages.texts()) how += " [" + m + "]";
      EXPECT_EQ(how, "") << (sized ? "sized" : "unsized") << " stream cut at " << cut << " of " << bytes.size();
      check(record);
    }
  }
  return ranOut;
}

// Runs `read` on a loading archive over a pipe that delivers `bytes` and ends.
template <class Read>
auto readThroughPipe(const std::vector<uint8_t>& bytes, Read&& read) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
  });
  struct Join {
    std::thread& t;
    ~Join() { t.join(); }
  } join{writer};
  CFile file;
  EXPECT_TRUE(file.OpenDescriptor(fds[0], CFile::modeRead));
  CArchive ar(&file, CArchive::load);
  EXPECT_EQ(ar.bytesRemaining(), -1);  // a pipe cannot tell
  return read(ar);
}

// One "Vm...:  <n> kB" line of /proc/self/status in bytes, or -1.
inline int64_t procStatusBytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::stoll(line.substr(std::string(key).size())) * 1024;
  }
  return -1;
}

// How far the resident memory of the process rose above what it held before
// while `run` ran, in bytes: the kernel's high-water mark is reset first
// (/proc/self/clear_refs). -1 where the system does not allow that.
inline int64_t peakMemoryGrowth(const std::function<void()>& run) {
  {
    std::ofstream reset("/proc/self/clear_refs");
    if (!(reset << "5" << std::flush)) return -1;
  }
  const int64_t before = procStatusBytes("VmRSS:");
  run();
  const int64_t peak = procStatusBytes("VmHWM:");
  return before < 0 || peak < 0 ? -1 : peak - before;
}

}  // namespace megcxc::test
