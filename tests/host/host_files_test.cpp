// The checked load and the atomic save every front end uses: a failed load
// leaves the collection as it was and names the file; a save goes through a
// symbolic link to its target, keeps the previous file on failure and leaves
// no temporary file behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "face/face_helpers.h"
#include "host/collection_file.h"
#include "platform/refused.h"

namespace megcxc::test {
namespace {

namespace fs = std::filesystem;
using megcxc::host::ArchiveKind;

std::vector<uint8_t> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Names of the entries of a folder other than `keep`.
std::vector<std::string> othersIn(const fs::path& dir, std::initializer_list<std::string> keep) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (std::find(keep.begin(), keep.end(), name) == keep.end()) out.push_back(name);
  }
  return out;
}

class HostFilesTest : public FaceTest {
 protected:
  HostFilesTest() : dir(fs::temp_directory_path() / ("megcxc-host-" + std::to_string(::getpid()))) {
    fs::create_directories(dir);
  }
  ~HostFilesTest() override { fs::remove_all(dir); }

  // The fixture's collection: an active 2 x 3 dataset and a control, named.
  void makeCollection() {
    make(0, 2, 3, 2, 4, randomCells(7));
    make(1, 2, 3, 1, 4, randomCells(8));
    face.collectionName = "subject 01";
  }

  // Expects `fn` to be refused with a text that starts with `path` and holds `what`.
  template <class Fn>
  void expectRefused(Fn fn, const fs::path& path, const std::string& what) {
    try {
      fn();
      ADD_FAILURE() << "not refused: " << path;
    } catch (const megcxc::Refused& e) {
      const std::string text = e.what();
      EXPECT_EQ(text.rfind(path.string() + ": ", 0), 0u) << text;
      EXPECT_NE(text.find(what), std::string::npos) << text;
    }
  }

  fs::path dir;
};

TEST_F(HostFilesTest, SaveAndLoadRoundTripTheBytesAndASingleTrialArchiveBecomesTheActiveDataset) {
  makeCollection();
  const fs::path file = dir / "a.cxc";
  host::saveCollectionFile(file, face);
  EXPECT_EQ(fileBytes(file), store(face));
  Collection back;
  const host::ArchiveHeader header = host::loadCollectionFile(file, back);
  EXPECT_EQ(header.kind, ArchiveKind::collection);
  EXPECT_EQ(header.magic, "SPCTM_CXC_FACEZQ");
  EXPECT_EQ(store(back), store(face));

  const fs::path trial = dir / "t.trl";
  host::saveTrialFile(trial, *face.trialByClass[1]);
  expectRefused([&] { host::loadCollectionFile(trial, back); }, trial, "single trial archive");
  EXPECT_EQ(store(back), store(face)) << "a refused load changed the collection";
  EXPECT_EQ(host::loadCollectionFile(trial, back, true).kind, ArchiveKind::trial);
  ASSERT_NE(back.trialByClass[0], nullptr);
  EXPECT_EQ(back.trialByClass[1], nullptr);
  EXPECT_EQ(back.trialByClass[0]->timePt, 1);
  EXPECT_EQ(back.currentClass, 0);
}

// Every way a file can be wrong ends in one refusal naming it, and the
// collection that was there stays exactly as it was.
TEST_F(HostFilesTest, AFailedLoadNamesTheFileAndLeavesTheCollectionUntouched) {
  makeCollection();
  const std::vector<uint8_t> good = store(face);
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string what;
  };
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  const std::vector<Case> cases = {
      {"half.cxc", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 2)),
       "truncated or damaged"},
      {"short.cxc", std::vector<uint8_t>(good.begin(), good.begin() + 3), "no archive header"},
      {"longer.cxc", longer, "1 unexpected byte(s) after its end"},
      {"foreign.cxc", {'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0, 0, 0, 0}, "not a cxc collection"},
  };
  Collection target;
  make(0, 1, 1, 1, 1, randomCells(1));
  host::saveCollectionFile(dir / "small.cxc", face);
  host::loadCollectionFile(dir / "small.cxc", target);
  const std::vector<uint8_t> before = store(target);
  MessageRecorder quiet;
  for (const Case& c : cases) {
    writeFile(dir / c.name, c.bytes);
    expectRefused([&] { host::loadCollectionFile(dir / c.name, target); }, dir / c.name, c.what);
    EXPECT_EQ(store(target), before) << c.name;
  }
  expectRefused([&] { host::loadCollectionFile(dir / "missing.cxc", target); }, dir / "missing.cxc", "cannot open");
  expectRefused([&] { host::loadCollectionFile(dir, target); }, dir, "directory");
  EXPECT_EQ(store(target), before);
}

// Through a link the target file is replaced (keeping its permissions) and the
// link stays a link; the same path saved twice holds the newest collection and
// no temporary file. A failed save keeps the previous file and removes its
// temporary one. The mne-connectivity writer shares this replacement.
TEST_F(HostFilesTest, SaveReplacesThroughALinkOrKeepsThePreviousFileAndLeavesNoTemporaryFile) {
  makeCollection();
  fs::create_directories(dir / "store");
  const fs::path real = dir / "store" / "data.cxc";
  const fs::path link = dir / "link.cxc";
  writeFile(real, {1, 2, 3});
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(real, mode);
  fs::create_symlink(real, link);
  host::saveCollectionFile(link, face);
  EXPECT_EQ(fs::status(real).permissions(), mode);
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), real);
  EXPECT_EQ(fileBytes(real), store(face));
  face.collectionName = "renamed";
  host::saveCollectionFile(link, face);
  EXPECT_EQ(fileBytes(real), store(face));
  EXPECT_TRUE(othersIn(dir, {"store", "link.cxc"}).empty());
  EXPECT_TRUE(othersIn(dir / "store", {"data.cxc"}).empty());

  const fs::path file = dir / "keep.cxc";
  writeFile(file, {9, 9, 9});
  // A folder where the file should be, and a folder that does not exist.
  fs::create_directories(dir / "folder.cxc");
  expectRefused([&] { host::saveCollectionFile(dir / "folder.cxc", face); }, dir / "folder.cxc", "directory");
  expectRefused([&] { host::saveCollectionFile(dir / "nowhere" / "x.cxc", face); }, dir / "nowhere" / "x.cxc",
                "cannot");
  // A device is never replaced by a file of the same name.
  if (fs::exists("/dev/null")) {
    expectRefused([&] { host::saveCollectionFile("/dev/null", face); }, "/dev/null", "not a regular file");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
  }
  EXPECT_EQ(fileBytes(file), (std::vector<uint8_t>{9, 9, 9}));
  EXPECT_TRUE(othersIn(dir, {"store", "link.cxc", "keep.cxc", "folder.cxc"}).empty());
}

}  // namespace
}  // namespace megcxc::test
