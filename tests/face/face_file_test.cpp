// The collection archive: exact bytes, both magics, refused headers,
// truncation, the file helpers' atomic save and safe load and the reader's
// allocation-failure sweep.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "face_helpers.h"
#include "platform/carchive.h"
#include "support/bytes.h"
#include "support/prefix_sweep.h"
#include "support/sweep.h"
#include "support/trial_bytes.h"

namespace megcxc::test {
namespace {

namespace fs = std::filesystem;
using Face = CMEGSpctmCCDataFace09File;

Bytes faceHeader(const char* magic, int32_t aux, int32_t cls, const char* name, int32_t version = 20110729) {
  return Bytes().str(magic).i32(version).i32(aux).i32(cls).str(name);
}

std::vector<uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FaceArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("megcxc_face_file_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::size_t dirEntries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }
  // A small collection: an active 1 x 2 dataset of 1 x 2 cells (three planes
  // and backups) and a fresh control dataset.
  static void makeSmall(Face& f) {
    fillDataset(*f.getCCSpctmTrlData4Class(true, 0), 1, 2, 1, 2, randomCells(3));
    f.getCCSpctmTrlData4Class(true, 1);
  }
  MessageRecorder messages;
  fs::path dir;
};

TEST_F(FaceArchive, CollectionsHaveTheirBytesReadEitherMagicAndRefuseWrongHeadersUntouched) {
  Face f, full;
  for (int k = 0; k < 3; ++k) full.getCCSpctmTrlData4Class(true, k);
  CSpctmTrlCCDatazq* active = full.trialByClass[0];
  EXPECT_EQ(load(full, Bytes().str("SPCTM_CXC_FACEZq").i32(20110729).bytes()), 0);
  EXPECT_EQ(messages.only(), "The opened file is not trial data or corrupted!");
  messages.clear();
  EXPECT_EQ(load(full, faceHeader("SPCTMFACEZQ", 0, 0, "Unknown", 20110730).i32(0).i32(0).i32(0).bytes()), 0);
  EXPECT_EQ(messages.only(), "Wrong spectral data face format!!?");
  EXPECT_TRUE(full.trialByClass[0] == active && full.getTotalSpctmDataSets() == 3);
  messages.clear();

  const auto empty = faceHeader("SPCTM_CXC_FACEZQ", 0, 0, "Unknown").i32(0).i32(0).i32(0).bytes();
  EXPECT_EQ(store(f), empty);
  full.auxInt = 4, full.currentClass = 2, full.collectionName = "x";
  ASSERT_EQ(load(full, empty), 1);  // a read empties the collection first
  EXPECT_EQ(store(full), empty);
  f.getCCSpctmTrlData4Class(true, 1);
  f.auxInt = -3, f.currentClass = 1, f.collectionName = "Session";
  Bytes expected = faceHeader("SPCTM_CXC_FACEZQ", -3, 1, "Session").i32(0).i32(1);
  freshTrial(expected, u"Control CxC");
  EXPECT_EQ(store(f), expected.i32(0).bytes());
  Bytes old = faceHeader("SPCTMFACEZQ", -3, 1, "Session").i32(0).i32(7);
  freshTrial(old, u"Control CxC");
  Face back;
  ASSERT_EQ(load(back, old.i32(0).bytes()), 1);
  EXPECT_TRUE(back.getTotalSpctmDataSets() == 1 && back.trialByClass[1] && store(back) == expected.bytes());
  EXPECT_TRUE(messages.texts().empty());
}

// Every proper prefix, from a stream that tells its length and from one that
// does not, ends in the end-of-file exception without any message (no
// memory message, no refused record read out of step), naming the field of
// the innermost record and each record around it.
TEST_F(FaceArchive, EveryProperPrefixEndsInTheEndOfFileException) {
  Face source;
  makeSmall(source);
  const auto full = store(source);
  auto read = [](Face& f, CArchive& ar) { return f.serializeSpctmFace(ar); };
  auto check = [](const Face& f) {
    for (CSpctmTrlCCDatazq* d : f.trialByClass)
      if (d) expectTrialFits(CSpctmTrlCCDatazq(*d));  // walked and copied (AddressSanitizer)
  };
  EXPECT_EQ(sweepPrefixes<Face>(full, read, check), 2 * full.size());
  // Cut inside the backup planes of the last pair of an active dataset.
  Face one, f;
  fillDataset(*one.getCCSpctmTrlData4Class(true, 0), 1, 2, 1, 2, randomCells(3));
  const auto bytes = store(one);
  const std::string what = endOfArchiveText([&] { load(f, std::vector<uint8_t>(bytes.begin(), bytes.end() - 30)); });
  EXPECT_EQ(what.rfind("end of archive in ", 0), 0u) << what;
  EXPECT_NE(what.find(" of channel pair (-1, -1); in channel pair of column 1 of row 0 (byte "), std::string::npos) << what;
  EXPECT_NE(what.find(" of trial dataset; in active dataset (byte 70) of collection"), std::string::npos) << what;
}

TEST_F(FaceArchive, LoadFromFileShowsEachMessageOfADamagedFileOnceAndKeepsTheCollection) {
  Face source, target;
  fillDataset(*source.getCCSpctmTrlData4Class(true, 0), 3, 3, 1, 2, randomCells(4));
  std::vector<uint8_t> bytes = store(source);
  // Spoil the magic of every channel-pair record: each one is refused, and the
  // readers, which go on after a refused pair, read on out of step.
  const std::vector<uint8_t> magic = Bytes().str(kSpctmChnlMagic).bytes();
  int spoiled = 0;
  for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), magic.begin(), magic.end())) != bytes.end(); ++it) {
    it[4] ^= 0x20;  // the first UTF-16 unit after the length prefix
    ++spoiled;
  }
  ASSERT_EQ(spoiled, 9);
  const std::string path = (dir / "damaged.cxc").string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  makeSmall(target);
  const std::vector<uint8_t> before = store(target);
  EXPECT_EQ(target.loadFromFile(path), 0);
  std::vector<std::string> texts = messages.texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "This is error in opening channel spectral data!");
  EXPECT_EQ(texts.back(), "Cannot read " + path + ": a dataset in it is damaged (2 repeated message(s) not shown)");
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(std::adjacent_find(texts.begin(), texts.end()), texts.end()) << "a message was shown twice";
  EXPECT_EQ(store(target), before);
}

TEST_F(FaceArchive, FailedSaveKeepsTheTargetAndRemovesTheTemporaryFile) {
  Face f;
  makeSmall(f);
  const fs::path target = dir / "keep.cxc";
  std::ofstream(target) << "old";
  // The write fails: the file size limit stops the temporary file early.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{}, small{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  small = {64, saved.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  const int written = f.saveToFile(target.string());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(messages.only().rfind("Cannot write " + target.string() + ": ", 0), 0u);
  EXPECT_TRUE(readFile(target) == (std::vector<uint8_t>{'o', 'l', 'd'}) && dirEntries() == 1);
}

// Allocations in stream order. Every failed load from the file shows first
// the message of the failure itself ("" where it shows none and only what
// follows speaks), ends with "Cannot read <path>: ..." and changes nothing.
// The archive operation itself does not look at the datasets' results, so
// after an inner failure it may read on from the middle of a dataset; what
// it leaves must still be consistent (and nothing may leak).
TEST_F(FaceArchive, ReaderAllocationFailuresKeepTheCollectionOrLeaveItConsistent) {
  // An active dataset of one pair without planes and a real summary of six
  // zeroed 1 x 2 arrays.
  Face source, target;
  CSpctmTrlCCDatazq& ds = *source.getCCSpctmTrlData4Class(true, 0);
  ASSERT_EQ(ds.checkInitSpctmCCData(1, 1, 1, 2, true, 0, 0, nullptr, nullptr), 1);
  ds.pairMatrix[0][0]._cleanSpctmData();
  ASSERT_EQ(ds.summaryByDataType[0].checkInit(1, 2), 1);
  const std::string path = (dir / "sweep.cxc").string(), reading = "Cannot read " + path + ": ";
  ASSERT_EQ(source.saveToFile(path), 1);
  const std::vector<uint8_t> bytes = store(source);
  EXPECT_TRUE(readFile(path) == bytes && dirEntries() == 1);  // the archive bytes, no temporary file left
  auto noString = [&](int n) { return reading + "cannot allocate a string of " + std::to_string(n) + " characters"; };
  // The collection's magic and name "Unknown", the dataset, the trial's magic,
  // name "Active CxC" and cxcType "None", the profile's magic, the real
  // summary's magic and its six arrays, the other two summary magics, the pair
  // table, the row of pairs (only what follows speaks) and the pair's magic.
  std::vector<std::string> first = {noString(16), noString(7), reading + "not enough memory to create a dataset",
                                    noString(17), noString(10), noString(4), noString(9), noString(14)};
  first.insert(first.end(), 6, "Has enough memory?");
  first.insert(first.end(), {noString(14), noString(14), "Is memory enough?!", "", noString(11)});
  makeSmall(target);
  const std::vector<uint8_t> before = store(target);
  for (int64_t nth = 1; nth <= static_cast<int64_t>(first.size()); ++nth) {
    const SweepOutcome o = runFailing(nth, [&] { return target.loadFromFile(path); });
    const std::string& expected = first[static_cast<std::size_t>(nth - 1)];
    ASSERT_TRUE(o.result == 0 && !o.messages.empty()) << nth;
    EXPECT_TRUE(expected.empty() || o.messages.front() == expected) << nth << " " << o;
    EXPECT_EQ(o.messages.back().rfind(reading, 0), 0u) << nth;
    EXPECT_EQ(store(target), before) << nth;

    Face f;
    makeSmall(f);
    const SweepOutcome s = runFailing(nth, [&] { return load(f, bytes); });
    EXPECT_TRUE(s.thrown == "memory" || s.result == 0 || s.result == 1) << nth << " " << s;
    for (const CSpctmTrlCCDatazq* d : f.trialByClass)
      if (d != nullptr) expectTrialFits(*d);
    // Until the header is accepted the collection keeps its datasets.
    EXPECT_TRUE(nth != 1 || (f.trialByClass[0] && f.trialByClass[0]->colSnsCount == 2)) << nth;
  }
  int64_t made = -1;
  EXPECT_EQ(runFailing(0, [&] { return target.loadFromFile(path); }, &made), returns(1));
  EXPECT_EQ(made, static_cast<int64_t>(first.size()));
  EXPECT_TRUE(target.trialByClass[0] && target.getTotalSpctmDataSets() == 1);
}

}  // namespace
}  // namespace megcxc::test
