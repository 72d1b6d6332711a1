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

TEST(ArchivePrimitives, WriteLittleEndianAndReadBack) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const auto got = stored([&](CArchive& ar) {
    ar << int32_t{-2} << uint32_t{0x01020304u} << int64_t{-(int64_t{1} << 40)} << 1.5 << true << false << nan << -inf;
  });
  EXPECT_EQ(got, Bytes().i32(-2).u32(0x01020304u).i64(-(int64_t{1} << 40)).f64(1.5).u8(1).u8(0).f64(nan).f64(-inf).bytes());
  std::vector<uint8_t> in = got;
  in[24] = 7;  // any nonzero byte reads as true
  CMemFile file(in);
  CArchive ar(&file, CArchive::load);
  int32_t i = 0;
  uint32_t u = 0;
  int64_t l = 0;
  double d = 0, n = 0, m = 0;
  bool b1 = false, b2 = true;
  ar >> i >> u >> l >> d >> b1 >> b2 >> n >> m;
  EXPECT_TRUE(i == -2 && u == 0x01020304u && l == -(int64_t{1} << 40) && d == 1.5 && b1 && !b2);
  EXPECT_TRUE(std::isnan(n) && m == -inf && ar.bytesRemaining() == 0);
}

TEST(ArchiveStrings, LengthPrefixChangesFormAt255And65534) {
  const auto magic = stored([](CArchive& ar) { ar << CString("SPCTM_CXC_TRIALZQ"); });
  ASSERT_EQ(magic.size(), 38u);
  EXPECT_EQ(std::vector<uint8_t>(magic.begin(), magic.begin() + 6), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0x11, 'S', 0}));
  for (std::size_t n : {0u, 254u, 255u, 0xFFFDu, 0xFFFEu, 0x10000u}) {
    const CString s(std::u16string(n, u'x'));
    const auto got = stored([&](CArchive& ar) { ar << s; });
    ASSERT_EQ(got, Bytes().str(std::u16string(n, u'x')).bytes()) << "length " << n;
    CMemFile file(got);
    CArchive ar(&file, CArchive::load);
    CString back;
    ar >> back;
    EXPECT_TRUE(back == s && ar.bytesRemaining() == 0) << "length " << n;
  }
}

TEST(ArchiveStrings, UntaggedSingleByteFormIsWindows1252AndLoneSurrogatesSurvive) {
  Bytes in;
  in.u8(4).u8('C').u8(0x80).u8(0xE9).u8('x').u8(0xFF).u16(300);  // short form, long form
  for (int i = 0; i < 300; ++i) in.u8('a');
  const Bytes odd = Bytes().str(std::u16string{u'a', char16_t(0xDC00), u'z'});
  in.append(odd.bytes());
  CMemFile file(in.bytes());
  CArchive ar(&file, CArchive::load);
  CString a, b, c;
  ar >> a >> b >> c;
  EXPECT_EQ(a.units(), std::u16string(u"C\u20AC\u00E9x"));
  EXPECT_EQ(b.GetLength(), 300);
  EXPECT_EQ(stored([&](CArchive& out) { out << c; }), odd.bytes());
}

TEST(ArchiveStrings, HostileLengthThrowsBeforeAllocatingUnallocatableOneThrowsMemory) {
  CMemFile file(Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFF0u).bytes());
  CArchive ar(&file, CArchive::load);
  CString s("keep");
  megcxc::setAllocationFailureAt(0);
  try {
    ar >> s;
    ADD_FAILURE() << "no exception";
  } catch (const CArchiveException& e) {
    EXPECT_TRUE(e.m_cause == CArchiveException::endOfFile && e.m_offset == 0);
  }
  EXPECT_TRUE(s == "keep" && megcxc::countedAllocations() == 0);
  CMemFile small(Bytes().str("abc").bytes());
  CArchive in(&small, CArchive::load);
  megcxc::AllocationFailureScope fail(1);
  EXPECT_THROW(in >> s, CMemoryException);
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
  CMemFile out;
  CArchive st(&out, CArchive::store);
  int32_t v = 0;
  EXPECT_THROW(st >> v, CArchiveException);  // wrong direction
  CMemFile in(full);
  CArchive ld(&in, CArchive::load);
  EXPECT_THROW(ld << int32_t{1}, CArchiveException);
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
  Bytes want;
  want.i32(5);
  for (double v : values) want.f64(v);
  EXPECT_EQ(bytes, want.u8(9).bytes());

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
  EXPECT_TRUE(back == values && tail == 9 && ar.mayHold(0) && !ar.mayHold(1));
}

TEST(ArchiveFiles, MemoryFileGrowsKeepsItsBytesAndOverwritesInPlace) {
  // Pieces of odd sizes across several growths of the block, then an
  // overwrite from the start that ends inside the content and one past it.
  std::vector<uint8_t> want;
  CMemFile mem;
  for (int k = 0; k < 40; ++k) {
    std::vector<uint8_t> piece(static_cast<std::size_t>(7919 * k % 20011 + 1), static_cast<uint8_t>(k));
    mem.Write(piece.data(), piece.size());
    want.insert(want.end(), piece.begin(), piece.end());
  }
  ASSERT_EQ(mem.bytes(), want);
  mem.seekToBegin();
  const std::vector<uint8_t> head(5, 0xEE);
  mem.Write(head.data(), head.size());
  std::copy(head.begin(), head.end(), want.begin());
  EXPECT_TRUE(mem.bytes() == want && mem.GetPosition() == 5 && mem.size() == want.size());
  std::vector<uint8_t> back(want.size());
  mem.seekToBegin();
  EXPECT_EQ(mem.Read(back.data(), back.size() + 10), want.size());
  EXPECT_TRUE(back == want && mem.Read(back.data(), 1) == 0);
  mem.Write(head.data(), head.size());  // at the end: appends
  EXPECT_EQ(mem.GetLength(), static_cast<int64_t>(want.size() + 5));
  EXPECT_EQ(CMemFile(want).bytes(), want);
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
    EXPECT_TRUE(m == "SPCTMCHNLZQ" && v == 20130517 && !ar.mayHold(1));
  }
  std::remove(path);
  EXPECT_THROW(CFile("/nonexistent/dir/x", CFile::modeRead), CFileException);
}
