// The atomic archive writer under interruption: a terminating signal in the
// middle of a save removes the temporary file and leaves the previous file,
// and the process still ends by that signal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/atomic_file.h"
#include "platform/carchive.h"

namespace {

namespace fs = std::filesystem;

TEST(AtomicFile, ATerminatingSignalDuringASaveRemovesTheTemporaryFileAndKeepsTheTarget) {
  const fs::path dir = fs::temp_directory_path() / ("megcxc-atomic-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path target = dir / "kept.cxc";
  std::ofstream(target) << "previous";
  for (const int sig : {SIGTERM, SIGINT}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      megcxc::removeTemporaryFilesOnSignals();
      megcxc::writeArchiveAtomically(target, [sig](CArchive& ar) {
        for (int k = 0; k < 100000; ++k) ar << int32_t{k};
        ar.Flush();
        std::raise(sig);
      });
      ::_exit(0);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    std::string kept;
    std::getline(std::ifstream(target), kept);
    EXPECT_EQ(kept, "previous");
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir)) entries += e.path() != target;
    EXPECT_EQ(entries, 0) << "a temporary file was left behind";
  }
  fs::remove_all(dir);
}

}  // namespace
