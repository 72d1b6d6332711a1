// The collection archive: exact bytes, both magics, refused headers,
// truncation, the file helpers' atomic save and safe load, and a round trip of
// a random collection.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "face_helpers.h"
#include "platform/carchive.h"
#include "support/bytes.h"
#include "support/message_recorder.h"

namespace megcxc::test {
namespace {

namespace fs = std::filesystem;
using Face = CMEGSpctmCCDataFace09File;

// The trial archive of a freshly constructed dataset named `name`.
void freshTrial(Bytes& b, const char* name) {
  b.str("SPCTM_CXC_TRIALZQ").i32(20130524).i32(0).i32(1).i32(0).i32(1);
  for (int64_t v : {0, 0, 0, 0, 0, 0, 0, 1}) b.i64(v);  // timePt .. timeStep
  b.f64(0).f64(0).f64(0).f64(0).i32(0);                  // auxValue1 .. freqLastHz, freqAxisLog
  b.f64(1).f64(1).f64(1).f64(1).i64(0).i32(0).i32(0).i32(0);  // freqStepHz .. auxInt4
  for (int k = 0; k < 5; ++k) b.i64(0);                        // selection box, auxLong3
  b.i32(1).i32(0).i32(1).i64(0).i32(1).i32(0);                 // auxInt5 .. auxInt9
  b.str(name).u8(1).i32(0).str("None").i32(0).i32(0).f64(0).i32(0);
  b.str("MMATRIX1D").i32(20250301).i64(0).i64(0);
  b.i32(0).i32(0).i32(0);
  for (int s = 0; s < 3; ++s) {
    b.str("SUMCCSPCTMDATA").i32(20130514).i64(0).i64(0);
    for (int k = 0; k < 7; ++k) b.i32(0);
    b.i64(0);
    for (int k = 0; k < 12; ++k) b.f64(0);
  }
  b.i64(0).i64(0).i64(0).i64(0).i32(0);
}

Bytes faceHeader(const char* magic, int32_t auxInt, int32_t currentClass, const char* name) {
  Bytes b;
  b.str(magic).i32(20110729).i32(auxInt).i32(currentClass).str(name);
  return b;
}

std::vector<uint8_t> store(Face& f) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  EXPECT_EQ(f.serializeSpctmFace(ar), 1);
  return file.bytes();
}

int load(Face& f, const std::vector<uint8_t>& bytes) {
  CMemFile file(bytes);
  CArchive ar(&file, CArchive::load);
  return f.serializeSpctmFace(ar);
}

std::vector<uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                           static_cast<std::streamsize>(bytes.size()));
}

// Every dataset can be walked over its counts (AddressSanitizer checks each
// access) and copied.
void expectConsistent(Face& f) {
  for (CSpctmTrlCCDatazq* d : f.trialByClass) {
    if (!d) continue;
    for (const auto& s : d->summaryByDataType) EXPECT_TRUE(s.arraysFitCounts());
    volatile double sink = 0;
    for (int64_t r = 0; d->pairMatrix && r < d->rowSnsCount; ++r) {
      for (int64_t c = 0; d->pairMatrix[r] && c < d->colSnsCount; ++c) {
        const CSpctmChnChnDatazq& p = d->pairMatrix[r][c];
        for (double** plane : p.plane) {
          for (int64_t i = 0; plane && i < p.timePt * p.freqPt; ++i) sink = sink + planeData(plane, p.timePt)[i];
        }
      }
    }
    CSpctmTrlCCDatazq copy(*d);
    copy.reloadSpctmDataTrl();
  }
}

class FaceArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("megcxc_face_file_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  std::vector<std::string> dirEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
  }
  // A small collection: an active 1 x 2 dataset of 1 x 2 cells (three planes
  // and backups) and a fresh control dataset.
  void makeSmall(Face& f) {
    fillDataset(*f.getCCSpctmTrlData4Class(true, 0), 1, 2, 1, 2, randomCells(3));
    f.getCCSpctmTrlData4Class(true, 1);
  }
  MessageRecorder messages;
  fs::path dir;
};

TEST_F(FaceArchive, EmptyCollectionHasDocumentedBytesAndEmptiesOnRead) {
  Face f;
  const auto expected = faceHeader("SPCTM_CXC_FACEZQ", 0, 0, "Unknown").i32(0).i32(0).i32(0).bytes();
  EXPECT_EQ(expected.size(), 36u + 4 + 8 + 18 + 12);
  EXPECT_EQ(store(f), expected);
  Face full;
  for (int k = 0; k < 3; ++k) full.getCCSpctmTrlData4Class(true, k);
  full.auxInt = 4, full.currentClass = 2, full.collectionName = "x";
  ASSERT_EQ(load(full, expected), 1);
  EXPECT_TRUE(full.getTotalSpctmDataSets() == 0 && full.auxInt == 0 && full.currentClass == 0);
  EXPECT_EQ(full.collectionName, "Unknown");
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(FaceArchive, ControlOnlyCollectionWritesOneTrialArchiveAndReadsEitherMagic) {
  Face f;
  f.getCCSpctmTrlData4Class(true, 1);
  f.auxInt = -3, f.currentClass = 1, f.collectionName = "Session";
  Bytes expected = faceHeader("SPCTM_CXC_FACEZQ", -3, 1, "Session").i32(0).i32(1);
  freshTrial(expected, "Control CxC");
  expected.i32(0);
  EXPECT_EQ(store(f), expected.bytes());

  Bytes old = faceHeader("SPCTMFACEZQ", -3, 1, "Session").i32(0).i32(7);
  freshTrial(old, "Control CxC");
  Face back;
  ASSERT_EQ(load(back, old.i32(0).bytes()), 1);
  EXPECT_EQ(back.getTotalSpctmDataSets(), 1);
  ASSERT_NE(back.trialByClass[1], nullptr);
  EXPECT_EQ(back.trialByClass[1]->trialName, "Control CxC");
  EXPECT_EQ(store(back), expected.bytes());
}

TEST_F(FaceArchive, WrongMagicOrVersionLeavesTheCollectionUntouched) {
  Face f;
  makeSmall(f);
  CSpctmTrlCCDatazq* active = f.trialByClass[0];
  EXPECT_EQ(load(f, Bytes().str("SPCTM_CXC_FACEZq").i32(20110729).bytes()), 0);
  EXPECT_EQ(messages.only(), "The opened file is not trial data or corrupted!");
  messages.clear();
  Bytes wrong;
  wrong.str("SPCTMFACEZQ").i32(20110730).i32(0).i32(0).str("Unknown").i32(0).i32(0).i32(0);
  EXPECT_EQ(load(f, wrong.bytes()), 0);
  EXPECT_EQ(messages.only(), "Wrong spectral data face format!!?");
  EXPECT_TRUE(f.trialByClass[0] == active && f.getTotalSpctmDataSets() == 2);
}

TEST_F(FaceArchive, TruncationAtAnyByteThrowsOrRefusesAndStaysConsistent) {
  Face source;
  makeSmall(source);
  const auto full = store(source);
  for (std::size_t n = 0; n < full.size(); ++n) {
    Face f;
    makeSmall(f);
    try {
      load(f, std::vector<uint8_t>(full.begin(), full.begin() + n));
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.m_cause, CArchiveException::endOfFile) << n;
    }
    expectConsistent(f);
  }
}

TEST_F(FaceArchive, LoadFromFileKeepsTheCollectionWhenTheFileIsBad) {
  Face source;
  makeSmall(source);
  const auto full = store(source);
  Face f;
  fillDataset(*f.getCCSpctmTrlData4Class(true, 2), 1, 1, 1, 1, randomCells(5));
  CSpctmTrlCCDatazq* held = f.trialByClass[2];
  for (std::size_t n : {std::size_t{0}, std::size_t{50}, full.size() / 2, full.size() - 1}) {
    writeFile(dir / "cut.cxc", std::vector<uint8_t>(full.begin(), full.begin() + n));
    EXPECT_EQ(f.loadFromFile((dir / "cut.cxc").string()), 0) << n;
    // Records refused inside may have shown their own messages first.
    ASSERT_FALSE(messages.texts().empty());
    EXPECT_EQ(messages.texts().back().rfind("Cannot read " + (dir / "cut.cxc").string() + ": ", 0), 0u);
    messages.clear();
    EXPECT_TRUE(f.trialByClass[2] == held && f.getTotalSpctmDataSets() == 1);
  }
  EXPECT_EQ(f.loadFromFile((dir / "missing.cxc").string()), 0);
  EXPECT_NE(messages.only().find("missing.cxc"), std::string::npos);
  EXPECT_TRUE(f.trialByClass[2] == held);
}

TEST_F(FaceArchive, RandomCollectionRoundTripsThroughFilesByteForByte) {
  Face f;
  std::u16string odd = u"K\u00f6ln \u6f22 ";
  odd.push_back(char16_t(0xD800));  // a lone surrogate stays as it is
  odd += std::u16string(300, u'z');  // a length past the one-byte prefix
  for (int k = 0; k < 3; ++k) {
    CSpctmTrlCCDatazq& d = *f.getCCSpctmTrlData4Class(true, k);
    fillDataset(d, 2, 3, 2, 3, randomCells(10 + k));
    d.trialName = CString(odd + char16_t(u'0' + k));
    d.cxcType = CString(u"\u00b5V\u00b2");
    d.delay = 0.1 * k, d.auxValue2 = -7.25, d.selTimeEnd = 1, d.hasImagPlane = 1, d.iconFlag = k != 1;
    d.freqProfile.checkInitData(3, true)[2] = 3.5;
    d.pairMatrix[1][2].isSelected = false, d.pairMatrix[1][2].userTag = 99;
  }
  ASSERT_EQ(f.cmpSumCCSpctmAllClassType4ActSns(), 9);
  delete[] f.trialByClass[2]->pairMatrix[0];
  f.trialByClass[2]->pairMatrix[0] = nullptr;
  f.auxInt = 77, f.currentClass = 2, f.collectionName = CString(odd);

  const std::string first = (dir / "first.cxc").string(), second = (dir / "second.cxc").string();
  ASSERT_EQ(f.saveToFile(first), 1);
  Face back;
  ASSERT_EQ(back.loadFromFile(first), 1);
  ASSERT_EQ(back.saveToFile(second), 1);
  EXPECT_EQ(readFile(first), readFile(second));
  EXPECT_EQ(readFile(first), store(f));
  EXPECT_TRUE(messages.texts().empty());

  EXPECT_EQ(back.collectionName.units(), odd);
  EXPECT_TRUE(back.auxInt == 77 && back.currentClass == 2);
  const CSpctmTrlCCDatazq& a = *f.trialByClass[1];
  const CSpctmTrlCCDatazq& b = *back.trialByClass[1];
  EXPECT_EQ(b.pairMatrix[1][2].rawPlane[2][1][2], a.pairMatrix[1][2].rawPlane[2][1][2]);
  EXPECT_EQ(b.summaryByDataType[1].cellRms[1][0], a.summaryByDataType[1].cellRms[1][0]);
  EXPECT_TRUE(b.pairMatrix[1][2].userTag == 99 && !b.iconFlag && b.freqProfile[2] == 3.5);
  EXPECT_EQ(back.trialByClass[2]->pairMatrix[0], nullptr);
  EXPECT_EQ(dirEntries().size(), 2u);
}

TEST_F(FaceArchive, FailedSaveKeepsTheTargetAndRemovesTheTemporaryFile) {
  Face f;
  makeSmall(f);
  const fs::path target = dir / "keep.cxc";
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  writeFile(target, old);

  // The write fails: the file size limit stops the temporary file early.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const int written = f.saveToFile(target.string());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(messages.only().rfind("Cannot write " + target.string() + ": ", 0), 0u);
  EXPECT_EQ(readFile(target), old);
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"keep.cxc"});
  messages.clear();

  // The rename fails: the target is a folder that is not empty.
  fs::create_directories(dir / "folder.cxc" / "inside");
  EXPECT_EQ(f.saveToFile((dir / "folder.cxc").string()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "folder.cxc" / "inside"));
  EXPECT_EQ(dirEntries().size(), 2u);
  messages.clear();

  // The folder is read-only. Root ignores permissions, so the check then runs
  // in a child process as an unprivileged user.
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  auto readOnlyCase = [&] {
    return f.saveToFile(target.string()) == 0 && readFile(target) == old && dirEntries().size() == 2;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(readOnlyCase());
  } else {
    const pid_t child = ::fork();
    if (child == 0) {
      const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && readOnlyCase();
      ::_exit(ok ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

}  // namespace
}  // namespace megcxc::test
