#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unistd.h>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "support/bytes.h"

using megcxc::test::Bytes;

namespace {

template <class Fn>
std::vector<uint8_t> stored(Fn fn, std::size_t bufferSize = 1u << 16) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store, bufferSize);
    fn(ar);
    ar.Close();
  }
  return file.bytes();
}

}  // namespace

TEST(ArchivePrimitives, WriteLittleEndianBytes) {
  const auto got = stored([](CArchive& ar) {
    ar << int32_t{-2} << uint32_t{0x01020304u} << int64_t{20130517} << 1.5 << true << false;
  });
  Bytes want;
  want.i32(-2).u32(0x01020304u).i64(20130517).f64(1.5).u8(1).u8(0);
  EXPECT_EQ(got, want.bytes());
}

TEST(ArchivePrimitives, ReadBackValuesAndNonzeroBoolIsTrue) {
  Bytes in;
  in.i32(-7).i64(-(int64_t{1} << 40)).f64(-0.25).u8(7).u8(0).u32(0xFFFFFFFFu);
  CMemFile file(in.bytes());
  CArchive ar(&file, CArchive::load);
  int32_t i = 0;
  int64_t l = 0;
  double d = 0;
  bool b1 = false, b2 = true;
  uint32_t u = 0;
  ar >> i >> l >> d >> b1 >> b2 >> u;
  EXPECT_EQ(i, -7);
  EXPECT_EQ(l, -(int64_t{1} << 40));
  EXPECT_EQ(d, -0.25);
  EXPECT_TRUE(b1);
  EXPECT_FALSE(b2);
  EXPECT_EQ(u, 0xFFFFFFFFu);
  EXPECT_EQ(ar.bytesRemaining(), 0);
}

TEST(ArchivePrimitives, NanBitPatternSurvivesRoundTrip) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto bytes = stored([&](CArchive& ar) { ar << nan << -std::numeric_limits<double>::infinity(); });
  CMemFile file(bytes);
  CArchive ar(&file, CArchive::load);
  double a = 0, b = 0;
  ar >> a >> b;
  EXPECT_TRUE(std::isnan(a));
  EXPECT_TRUE(std::isinf(b) && b < 0);
}

TEST(ArchiveStrings, MagicOfTheTrialArchiveTakes38Bytes) {
  const auto got = stored([](CArchive& ar) { ar << CString("SPCTM_CXC_TRIALZQ"); });
  ASSERT_EQ(got.size(), 38u);
  EXPECT_EQ(got[0], 0xFF);
  EXPECT_EQ(got[1], 0xFE);
  EXPECT_EQ(got[2], 0xFF);
  EXPECT_EQ(got[3], 0x11);
  EXPECT_EQ(got[4], 'S');
  EXPECT_EQ(got[5], 0);
  EXPECT_EQ(got, Bytes().str("SPCTM_CXC_TRIALZQ").bytes());
}

TEST(ArchiveStrings, LengthPrefixChangesFormAt255And65534) {
  for (std::size_t n : {0u, 254u, 255u, 0xFFFDu, 0xFFFEu, 0x10000u}) {
    const CString s(std::u16string(n, u'x'));
    const auto got = stored([&](CArchive& ar) { ar << s; });
    Bytes want;
    want.str(std::u16string(n, u'x'));
    ASSERT_EQ(got, want.bytes()) << "length " << n;
    CMemFile file(got);
    CArchive ar(&file, CArchive::load);
    CString back;
    ar >> back;
    EXPECT_EQ(back, s) << "length " << n;
    EXPECT_EQ(ar.bytesRemaining(), 0);
  }
}

TEST(ArchiveStrings, UntaggedSingleByteFormIsWindows1252) {
  Bytes in;
  in.u8(4).u8('C').u8(0x80).u8(0xE9).u8('x');  // short form
  in.u8(0xFF).u16(300);                      // long form
  for (int i = 0; i < 300; ++i) in.u8('a');
  CMemFile file(in.bytes());
  CArchive ar(&file, CArchive::load);
  CString a, b;
  ar >> a >> b;
  EXPECT_EQ(a.units(), std::u16string(u"C\u20AC\u00E9x"));
  EXPECT_EQ(b.GetLength(), 300);
}

TEST(ArchiveStrings, LoneSurrogateIsWrittenBackByteForByte) {
  Bytes in;
  in.str(std::u16string{u'a', char16_t(0xDC00), u'z'});
  CMemFile file(in.bytes());
  CArchive ar(&file, CArchive::load);
  CString s;
  ar >> s;
  EXPECT_EQ(stored([&](CArchive& out) { out << s; }), in.bytes());
}

TEST(ArchiveStrings, HostileLengthThrowsBeforeAllocating) {
  Bytes in;
  in.u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFF0u);
  CMemFile file(in.bytes());
  CArchive ar(&file, CArchive::load);
  CString s("keep");
  try {
    ar >> s;
    FAIL() << "no exception";
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
    EXPECT_EQ(e.m_offset, 0);
  }
  EXPECT_EQ(s, "keep");
}

TEST(ArchiveStrings, UnallocatableLengthThrowsMemoryException) {
  Bytes in;
  in.str("abc");
  CMemFile file(in.bytes());
  CArchive ar(&file, CArchive::load);
  CString s;
  megcxc::AllocationFailureScope fail(1);
  EXPECT_THROW(ar >> s, CMemoryException);
}

TEST(ArchiveErrors, TruncationAtEveryOffsetThrowsEndOfFile) {
  const auto full = stored([](CArchive& ar) {
    ar << CString("SUMCCSPCTMDATA") << int32_t{20130514} << int64_t{3} << 2.0 << true;
  });
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    CMemFile file(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(cut)));
    CArchive ar(&file, CArchive::load);
    CString m;
    int32_t v;
    int64_t l;
    double d;
    bool b;
    try {
      ar >> m >> v >> l >> d >> b;
      ADD_FAILURE() << "no exception at cut " << cut;
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.m_cause, CArchiveException::endOfFile) << cut;
      EXPECT_LE(e.m_offset, static_cast<int64_t>(cut));
    }
  }
}

TEST(ArchiveErrors, WrongDirectionThrows) {
  CMemFile file;
  CArchive st(&file, CArchive::store);
  int32_t v = 0;
  EXPECT_THROW(st >> v, CArchiveException);
  CMemFile in(Bytes().i32(1).bytes());
  CArchive ld(&in, CArchive::load);
  EXPECT_THROW(ld << int32_t{1}, CArchiveException);
  EXPECT_TRUE(ld.IsLoading());
  EXPECT_FALSE(ld.IsStoring());
}

TEST(ArchiveBuffering, BulkDoublesCrossBufferBoundariesIntact) {
  // A tiny buffer forces every path: partial fills, direct large transfers.
  std::vector<double> values(1000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i) * 0.5 - 17.0;
  const auto bytes = stored(
      [&](CArchive& ar) {
        ar << int32_t{5};
        ar.writeDoubles(values.data(), 3);
        ar.writeDoubles(values.data() + 3, values.size() - 3);
        ar << uint8_t{9};
      },
      64);
  ASSERT_EQ(bytes.size(), 4 + 8000 + 1u);
  Bytes want;
  want.i32(5);
  for (double v : values) want.f64(v);
  want.u8(9);
  EXPECT_EQ(bytes, want.bytes());

  CMemFile file(bytes);
  CArchive ar(&file, CArchive::load, 64);
  int32_t head = 0;
  ar >> head;
  std::vector<double> back(values.size());
  ar.readDoubles(back.data(), 7);
  EXPECT_EQ(ar.bytesRemaining(), static_cast<int64_t>(bytes.size()) - 4 - 56);
  ar.readDoubles(back.data() + 7, back.size() - 7);
  uint8_t tail = 0;
  ar >> tail;
  EXPECT_EQ(back, values);
  EXPECT_EQ(tail, 9);
  EXPECT_TRUE(ar.mayHold(0));
  EXPECT_FALSE(ar.mayHold(1));
}

TEST(ArchiveFiles, FileRoundTripAndRemainingBytes) {
  char path[] = "/tmp/megcxc_archive_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    CFile f(path, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&f, CArchive::store);
    ar << CString("SPCTMCHNLZQ") << int32_t{20130517};
    ar.Close();
  }
  {
    CFile f(path, CFile::modeRead);
    CArchive ar(&f, CArchive::load);
    EXPECT_EQ(ar.bytesRemaining(), 26 + 4);
    CString m;
    int32_t v = 0;
    ar >> m >> v;
    EXPECT_EQ(m, "SPCTMCHNLZQ");
    EXPECT_EQ(v, 20130517);
    EXPECT_FALSE(ar.mayHold(1));
  }
  std::remove(path);
  EXPECT_THROW(CFile("/nonexistent/dir/x", CFile::modeRead), CFileException);
}
