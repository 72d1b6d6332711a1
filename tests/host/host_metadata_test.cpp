// Where a host keeps what the archive cannot: seconds in the dataset's host
// values (the time report then labels its lines in seconds), names and units
// in a companion file that survives a round trip, is checked against the
// datasets it describes, and never goes stale.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "face/face_helpers.h"
#include "host/describe.h"
#include "host/metadata.h"
#include "platform/refused.h"

namespace megcxc::test {
namespace {

namespace fs = std::filesystem;
using namespace megcxc::host;

class HostMetadataTest : public FaceTest {
 protected:
  HostMetadataTest() : dir(fs::temp_directory_path() / ("megcxc-meta-" + std::to_string(::getpid()))) {
    fs::create_directories(dir);
  }
  ~HostMetadataTest() override { fs::remove_all(dir); }

  static DatasetMetadata named(std::initializer_list<const char*> names, const char* unit = "") {
    DatasetMetadata m;
    for (const char* n : names) m.rows.push_back({n, "grad", "T/m"});
    m.cols = m.rows;
    m.valueUnit = unit;
    return m;
  }

  fs::path dir;
};

TEST_F(HostMetadataTest, TheTimeReportLabelsItsLinesInSecondsOnceTheSamplingRateIsKnown) {
  CSpctmTrlCCDatazq& d = make(0, 1, 1, 4, 2, randomCells(1));
  d.setSpctmTimePtFreqPt(4, 2, 25);
  d.setTrialTimeDataRange4Spctm(-50, 50);
  d.timePtOffset = 0;
  EXPECT_EQ(samplingRate(d), 0.0) << "the field's default is not a rate";
  EXPECT_TRUE(std::isnan(timeSeconds(d, 1)));
  EXPECT_EQ(samplePosition(d, 3), 25.0);
  setSamplingRate(d, 250.0, -0.2);
  EXPECT_DOUBLE_EQ(timeSeconds(d, 3), 0.1);
  const std::string report = d.getStatisticsTx(0).toUtf8();
  for (const char* label : {"-0.200000", "-0.100000", "0.000000", "0.100000"}) {
    EXPECT_NE(report.find(std::string(": ") + label + " "), std::string::npos) << label << "\n" << report;
  }
  clearSamplingRate(d);
  EXPECT_EQ(samplingRate(d), 0.0);
  EXPECT_NE(d.getStatisticsTx(0).toUtf8().find(": 25.000000 "), std::string::npos) << "labels are sample positions";
}

TEST_F(HostMetadataTest, AGeometricAxisSaysItsReportLabelsAreNotItsFrequencies) {
  CSpctmTrlCCDatazq& d = make(0, 1, 1, 1, 3, randomCells(2));
  d.freqAxisLog = 0, d.freqFirstHz = 4.0, d.freqStepHz = 2.0, d.freqLastHz = 8.0;
  EXPECT_FALSE(reportLabelsDifferFromFrequencies(d));
  d.freqAxisLog = 1, d.freqFirstHz = 2.0, d.freqRatio = 2.0, d.freqLastHz = 16.0;
  EXPECT_TRUE(reportLabelsDifferFromFrequencies(d));
  EXPECT_DOUBLE_EQ(d.getSpctmFreq4FreqIndex(1), 8.0);
  EXPECT_DOUBLE_EQ(reportFrequencyLabel(d, 1), 4.0);
}

// Names, types and units go through the companion file and come back; a
// collection saved without names removes the companion a previous save left.
TEST_F(HostMetadataTest, TheCompanionRoundTripsAndNeverGoesStale) {
  make(0, 2, 2, 1, 1, randomCells(3));
  make(2, 2, 2, 1, 1, randomCells(4));
  Metadata meta;
  meta.byClass[0] = named({"MEG 0113", "Fz \"front\" é"}, "T²/Hz");
  const fs::path file = dir / "c.cxc";
  saveCollectionWithMetadata(file, face, meta);
  // The act-ctl dataset stands for the same sensors: it got their names.
  EXPECT_EQ(meta.byClass[2].rows.size(), 2u);
  Collection back;
  Metadata read;
  std::vector<std::string> warnings;
  loadCollectionWithMetadata(file, back, read, false, &warnings);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  ASSERT_EQ(read.byClass[0].rows.size(), 2u);
  EXPECT_EQ(read.byClass[0].rows[1].name, "Fz \"front\" é");
  EXPECT_EQ(read.byClass[0].rows[0].type, "grad");
  EXPECT_EQ(read.byClass[0].cols[0].unit, "T/m");
  EXPECT_EQ(read.byClass[0].valueUnit, "T²/Hz");
  EXPECT_EQ(sensorLabel(read, 2, 1, true), "Fz \"front\" é");
  EXPECT_EQ(sensorLabel(read, 1, 1), "1");

  Metadata none;
  saveCollectionWithMetadata(file, face, none);
  EXPECT_FALSE(fs::exists(metadataPath(file)));
}

TEST_F(HostMetadataTest, NamesThatNoLongerFitOrAnUnreadableCompanionAreDroppedWithAWarning) {
  make(0, 2, 2, 1, 1, randomCells(5));
  const fs::path file = dir / "c.cxc";
  Metadata meta;
  meta.byClass[0] = named({"a", "b", "c"});
  meta.byClass[1] = named({"x", "y"});
  saveCollectionFile(file, face);
  writeMetadata(file, meta);
  Collection back;
  Metadata read;
  std::vector<std::string> warnings;
  loadCollectionWithMetadata(file, back, read, false, &warnings);
  EXPECT_TRUE(read.empty());
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_NE(warnings[0].find("3 row names for the 2 rows of the active dataset"), std::string::npos) << warnings[0];

  for (const char* bad : {"{\"format\": \"megcxc metadata\", \"datasets\": {\"active\": [1,", "[]", "\"x\""}) {
    std::ofstream(metadataPath(file), std::ios::trunc) << bad;
    warnings.clear();
    EXPECT_TRUE(readMetadata(file, &back, &warnings).empty()) << bad;
    EXPECT_EQ(warnings.size(), 1u) << bad;
  }
}

TEST(HostEngineering, ThreeSignificantDigitsWithExponentsInStepsOfThree) {
  EXPECT_EQ(engineering(0.0), "0");
  EXPECT_EQ(engineering(1.234e-24), "1.23e-24");
  EXPECT_EQ(engineering(-0.00123), "-1.23e-03");
  EXPECT_EQ(engineering(12345.0), "12.3e+03");
  EXPECT_EQ(engineering(999.96), "1e+03");
  EXPECT_EQ(engineering(42.0), "42");
  EXPECT_EQ(autoScaleFor(1.2e-24), 1e24);
  EXPECT_EQ(autoScaleFor(0.0), 1.0);
}

}  // namespace
}  // namespace megcxc::test
