// The archive's byte forms, its buffering and files, and CString's text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <algorithm>
#include <string>
#include <unistd.h>

#include "platform/alloc_test_hook.h"
#include "platform/carchive.h"
#include "support/archive_bytes.h"
#include "support/bytes.h"
#include "support/prefix_sweep.h"

using megcxc::test::Bytes;

namespace {

template <class Fn>
std::vector<uint8_t> stored(Fn fn, std::size_t bufferSize = 1u << 16) {
  return megcxc::test::storedBytes([&](CArchive& ar) { fn(ar); return 1; }, bufferSize);
}

}  // namespace

TEST(ArchiveStream, LittleEndianFormsAndBulkDoublesAcrossBufferBoundaries) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const int64_t big = -(int64_t{1} << 40);
  const auto got = stored([&](CArchive& ar) {
    ar << CString("SUMCCSPCTMDATA") << int32_t{-2} << uint32_t{0x01020304u} << big << 1.5 << true << false << nan
       << -inf;
  });
  EXPECT_EQ(got, Bytes().str("SUMCCSPCTMDATA").i32(-2).u32(0x01020304u).i64(big).f64(1.5).u8(1).u8(0).f64(nan)
                     .f64(-inf).bytes());
  // A count-only archive learns the same size without a file.
  const double row[3] = {1, 2, 3};
  CArchive counted(nullptr, CArchive::store | CArchive::bCountOnly);
  counted << CString("SUMCCSPCTMDATA") << int32_t{-2} << uint32_t{0x01020304u} << big << 1.5 << true << false << nan
          << -inf;
  counted.writePresentRow(row, 3);
  counted.writeDoubles(row, 2);
  counted.Close();
  EXPECT_EQ(counted.position(), static_cast<int64_t>(got.size()) + 4 + 24 + 16);
  CString s;
  int32_t i = 0;
  uint32_t u = 0;
  int64_t l = 0;
  double d = 0, n = 0, m = 0;
  bool b1 = false, b2 = true;
  auto read = [&](std::vector<uint8_t> in) {
    CMemFile file(in);
    CArchive ar(&file, CArchive::load);
    ar >> s >> i >> u >> l >> d >> b1 >> b2 >> n >> m;
    return ar.bytesRemaining();
  };
  std::vector<uint8_t> in = got;
  in[32 + 24] = 7;  // after the 32-byte string: any nonzero byte reads as true
  EXPECT_EQ(read(in), 0);
  EXPECT_TRUE(s == "SUMCCSPCTMDATA" && i == -2 && u == 0x01020304u && l == big && d == 1.5 && b1 && !b2);
  EXPECT_TRUE(std::isnan(n) && m == -inf);
  CMemFile out, full(got);
  CArchive st(&out, CArchive::store), ld(&full, CArchive::load);
  EXPECT_THROW(st >> i, CArchiveException);  // wrong direction
  EXPECT_THROW(ld << int32_t{1}, CArchiveException);
  // Bulk doubles through a tiny buffer: partial fills, direct large transfers.
  std::vector<double> values(1000);
  Bytes want;
  want.i32(5);
  for (std::size_t i = 0; i < values.size(); ++i) want.f64(values[i] = static_cast<double>(i) * 0.5 - 17.0);
  const auto bytes = stored(
      [&](CArchive& ar) {
        ar << int32_t{5};
        ar.writeDoubles(values.data(), 3);
        ar.writeDoubles(values.data() + 3, values.size() - 3);
        ar << uint8_t{9};
      },
      64);
  EXPECT_EQ(bytes, want.u8(9).bytes());
  megcxc::test::BufferedMemFile file(bytes);
  CArchive ar(&file, CArchive::load, 64);
  int32_t head = 0;
  uint8_t tail = 0;
  std::vector<double> back(values.size());
  ar >> head;
  ar.readDoubles(back.data(), 7);
  EXPECT_EQ(ar.bytesRemaining(), static_cast<int64_t>(bytes.size()) - 4 - 56);
  ar.readDoubles(back.data() + 7, back.size() - 7);
  ar >> tail;
  EXPECT_TRUE(back == values && head == 5 && tail == 9 && ar.mayHold(0) && !ar.mayHold(1));
}

// A memory file is read and written in place (one window onto its block);
// every other file through the buffer. Both give the same bytes, offsets and
// ends, also where the stream starts inside the file, grows the file past
// its page mapping, or is flushed and closed half-way.
TEST(ArchiveStream, MemoryFilesInPlaceAndBufferedFilesAgreeOnBytesOffsetsAndPlaneRows) {
  constexpr std::size_t kCols = 20;  // a row of 164 bytes with its flag: more than the 64-byte buffer
  std::vector<double> rows(4 * kCols), many((3u << 20) / 8);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<double>(i) - 0.25;
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<double>(i % 977) * 1.5;
  Bytes want;
  want.u8(0xAB).u8(0xCD).u8(0xEF).i32(7);
  for (std::size_t r = 0; r < 2; ++r) {
    want.i32(1);
    for (std::size_t k = 0; k < kCols; ++k) want.f64(rows[r * kCols + k]);
  }
  want.i32(0).i32(2);  // an absent row; any nonzero flag marks a present one
  for (std::size_t k = 0; k < kCols; ++k) want.f64(rows[3 * kCols + k]);
  for (const double v : many) want.f64(v);
  want.i32(-9);
  for (const bool inPlace : {true, false}) {
    std::unique_ptr<CMemFile> out = inPlace ? std::make_unique<CMemFile>() : std::make_unique<megcxc::test::BufferedMemFile>();
    out->Write(want.bytes().data(), 3);  // the archive starts at byte 3 of the file
    {
      CArchive ar(out.get(), CArchive::store, 64);
      EXPECT_EQ(ar.position(), 3);
      ar << int32_t{7};
      ar.writePresentRow(rows.data(), kCols);
      ar.Flush();
      ar.writePresentRow(rows.data() + kCols, kCols);
      ar << int32_t{0};
      ar << int32_t{2};
      ar.writeDoubles(rows.data() + 3 * kCols, kCols);
      ar.writeDoubles(many.data(), many.size());  // grows the memory file past 2 MiB
      EXPECT_EQ(ar.position(), static_cast<int64_t>(want.bytes().size()) - 4);
      ar.Close();
    }
    const int32_t last = -9;
    out->Write(&last, 4);  // after Close the file is the caller's again
    ASSERT_TRUE(out->bytes() == want.bytes()) << inPlace;

    std::vector<uint8_t> in = out->bytes();
    in.resize(in.size() - 4 - 100);  // ends inside the long run of doubles
    for (const bool fromMemory : {true, false}) {
      std::unique_ptr<CMemFile> file =
          fromMemory ? std::make_unique<CMemFile>(in) : std::make_unique<megcxc::test::BufferedMemFile>(in);
      uint8_t skip[3];
      ASSERT_EQ(file->Read(skip, 3), 3u);
      CArchive ar(file.get(), CArchive::load, 64);
      int32_t first = 0, flag = -1;
      ar >> first;
      EXPECT_EQ(ar.position(), 7);
      EXPECT_EQ(ar.bytesRemaining(), static_cast<int64_t>(in.size()) - 7);
      // Rows as a plane reader takes them: buffered ones at once, the rest
      // field by field.
      std::vector<double> back(4 * kCols, 0.0);
      std::size_t r = 0, absent = 0;
      auto takeRows = [&](std::size_t upTo) {
        while (r < upTo) {
          r += ar.readBufferedPresentRows(back.data() + r * kCols, upTo - r, kCols);
          if (r == upTo) break;
          ar >> flag;
          if (flag == 0) {
            ++absent;
            ++r;
            continue;
          }
          ar.readDoubles(back.data() + r * kCols, kCols);
          ++r;
        }
      };
      takeRows(2);
      EXPECT_EQ(ar.readBufferedPresentRows(back.data(), 1, kCols), 0u);  // stops before the zero flag
      takeRows(4);
      EXPECT_EQ(absent, 1u);
      EXPECT_TRUE(std::equal(back.begin(), back.begin() + 2 * kCols, rows.begin())) << fromMemory;
      EXPECT_TRUE(std::equal(back.begin() + 3 * kCols, back.end(), rows.begin() + 3 * kCols)) << fromMemory;
      std::vector<double> tail(many.size());
      try {
        ar.readDoubles(tail.data(), tail.size());
        ADD_FAILURE() << "read past the end";
      } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
        EXPECT_EQ(e.m_offset, static_cast<int64_t>(want.bytes().size()) - 4 - static_cast<int64_t>(many.size()) * 8);
      }
    }
  }
}

TEST(ArchiveStrings, PrefixFormsWindows1252AndHostileLengths) {
  const auto magic = stored([](CArchive& ar) { ar << CString("SPCTM_CXC_TRIALZQ"); });
  ASSERT_EQ(magic.size(), 38u);
  EXPECT_EQ(std::vector<uint8_t>(magic.begin(), magic.begin() + 6), (std::vector<uint8_t>{0xFF, 0xFE, 0xFF, 0x11, 'S', 0}));
  for (std::size_t n : {0u, 254u, 255u, 0xFFFDu, 0xFFFEu, 0x10000u}) {  // the prefix changes form at 255 and 65534
    const CString s(std::u16string(n, u'x'));
    const auto got = stored([&](CArchive& ar) { ar << s; });
    ASSERT_EQ(got, Bytes().str(std::u16string(n, u'x')).bytes()) << "length " << n;
    CMemFile file(got);
    CArchive ar(&file, CArchive::load);
    CString back;
    ar >> back;
    EXPECT_TRUE(back == s && ar.bytesRemaining() == 0) << "length " << n;
  }
  // The untagged single-byte form is Windows-1252; lone surrogates survive.
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
  // A hostile length throws before allocating; an unallocatable one throws memory.
  CMemFile hostile(Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFF0u).bytes());
  CArchive bad(&hostile, CArchive::load);
  CString s("keep");
  megcxc::setAllocationFailureAt(0);
  try {
    bad >> s;
    ADD_FAILURE() << "no exception";
  } catch (const CArchiveException& e) {
    EXPECT_TRUE(e.m_cause == CArchiveException::endOfFile && e.m_offset == 0);
  }
  EXPECT_TRUE(s == "keep" && megcxc::countedAllocations() == 0);
  CMemFile small(Bytes().str("abc").bytes());
  CArchive abc(&small, CArchive::load);
  megcxc::AllocationFailureScope fail(1);
  EXPECT_THROW(abc >> s, CMemoryException);
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
  EXPECT_THROW(CFile("/nonexistent/dir/x", CFile::modeRead), CFileException);
}

// A disk file read ahead and written behind by its worker thread, in blocks
// far smaller than the rows and runs of doubles, so that fields, rows and
// the archive's unread rests straddle every block boundary: the same bytes,
// offsets and ends as any other file, and a write that fails on the worker
// still reaches the caller.
TEST(ArchiveFiles, PipelinedDiskFilesKeepBytesOffsetsAndEndsAcrossTinyBlocks) {
  constexpr std::size_t kCols = 20;  // 164 bytes a row with its flag: over the 101-byte blocks
  std::vector<double> rows(4 * kCols), many(30000);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<double>(i) + 0.5;
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<double>(i % 613) * -2.25;
  Bytes want;
  want.u8(1).u8(2).u8(3).str("SPCTMCHNLZQ").i32(1).i32(1);
  for (std::size_t k = 0; k < kCols; ++k) want.f64(rows[k]);
  want.i32(0).i32(5);
  for (std::size_t k = 0; k < kCols; ++k) want.f64(rows[2 * kCols + k]);
  for (const double v : many) want.f64(v);
  want.i32(-9);
  char path[] = "/tmp/megcxc_pipeline_XXXXXX";
  ASSERT_EQ(close(mkstemp(path)), 0);
  {
    CFile out;
    out.setPipeline(CFile::Pipeline::always);
    ASSERT_TRUE(out.Open(path, CFile::modeCreate | CFile::modeWrite));
    out.Write(want.bytes().data(), 3);  // before the archive: written first
    CArchive ar(&out, CArchive::store, 64);
    EXPECT_EQ(ar.position(), 3);
    ar << CString("SPCTMCHNLZQ") << int32_t{1};
    ar.writePresentRow(rows.data(), kCols);
    ar << int32_t{0} << int32_t{5};
    ar.writeDoubles(rows.data() + 2 * kCols, kCols);
    ar.Flush();  // waits for the worker; the next block starts a new round
    ar.writeDoubles(many.data(), many.size());
    EXPECT_EQ(ar.position(), static_cast<int64_t>(want.bytes().size()) - 4);
    ar.Close();
    const int32_t last = -9;
    out.Write(&last, 4);  // after what the worker was given
    out.Close();
  }
  std::ifstream written(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(written), {}};
  ASSERT_TRUE(bytes == want.bytes());

  ASSERT_EQ(truncate(path, static_cast<off_t>(bytes.size() - 4 - 100)), 0);  // ends inside the doubles
  CFile in;
  in.setPipeline(CFile::Pipeline::always, 101);  // the flag 5 straddles byte 202
  ASSERT_TRUE(in.Open(path, CFile::modeRead));
  uint8_t skip[3];
  ASSERT_EQ(in.Read(skip, 3), 3u);  // the worker's first block, partly taken by Read
  CArchive ar(&in, CArchive::load, 64);
  EXPECT_EQ(ar.position(), 3);
  EXPECT_EQ(ar.bytesRemaining(), static_cast<int64_t>(bytes.size()) - 4 - 100 - 3);
  CString magic;
  int32_t version = 0, flag = -1;
  ar >> magic >> version;
  EXPECT_TRUE(magic == "SPCTMCHNLZQ" && version == 1);
  std::vector<double> back(3 * kCols, 0.0);
  std::size_t r = 0, absent = 0;
  while (r < 3) {
    r += ar.readBufferedPresentRows(back.data() + r * kCols, 3 - r, kCols);
    if (r == 3) break;
    ar >> flag;
    if (flag == 0) ++absent;
    else ar.readDoubles(back.data() + r * kCols, kCols);
    ++r;
  }
  EXPECT_EQ(absent, 1u);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + kCols, rows.begin()));
  EXPECT_TRUE(std::equal(back.begin() + 2 * kCols, back.end(), rows.begin() + 2 * kCols));
  std::vector<double> tail(many.size());
  try {
    ar.readDoubles(tail.data(), 1000);  // through the archive's buffer, field by field
    ar.readDoubles(tail.data() + 1000, tail.size() - 1000);  // straight from the file's blocks
    ADD_FAILURE() << "read past the end";
  } catch (const CArchiveException& e) {
    EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
    EXPECT_EQ(e.m_offset, static_cast<int64_t>(want.bytes().size()) - 4 - static_cast<int64_t>(many.size()) * 8 + 8000);
  }
  EXPECT_TRUE(std::equal(tail.begin(), tail.end() - 13, many.begin()));  // all but the cut-off doubles
  std::remove(path);

  // Automatic choice: a pipe and a small file are read on the caller's thread.
  CFile small;
  ASSERT_TRUE(small.Open("/proc/self/stat", CFile::modeRead));
  EXPECT_FALSE(small.readsAhead());
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  CFile piped;
  piped.setPipeline(CFile::Pipeline::always);
  ASSERT_TRUE(piped.OpenDescriptor(fds[0], CFile::modeRead));
  EXPECT_FALSE(piped.readsAhead());
  close(fds[1]);

  // A failing device: the worker's error comes out of the archive's Close.
  CFile full;
  full.setPipeline(CFile::Pipeline::always);
  ASSERT_TRUE(full.Open("/dev/full", CFile::modeCreate | CFile::modeWrite));
  try {
    CArchive st(&full, CArchive::store, 64);
    st.writeDoubles(many.data(), many.size());
    st.Close();
    ADD_FAILURE() << "no error from a full device";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_errno, ENOSPC);
  }
}

TEST(CStringText, ConversionsComparisonsAndFormat) {
  const CString s("Kanal Ä→β 𝄞");
  EXPECT_EQ(s.toUtf8(), "Kanal Ä→β 𝄞");
  EXPECT_EQ(s.GetLength(), 12);  // 10 BMP units + a surrogate pair
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(CString(lone).GetLength(), 3);  // kept as units, shown as a replacement
  EXPECT_EQ(CString(lone).toUtf8(), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(CString("x\xC3(\xFFy").units(), std::u16string(u"x\uFFFD(\uFFFDy"));
  EXPECT_EQ(CString::fromWindows1252(std::string("\x80\x9F\xE9\x41", 4)).units(), std::u16string(u"\u20AC\u0178\u00E9A"));
  CString c;
  // Format: floats exactly as printf, the I64 modifier, UTF-8 arguments, long output.
  for (double v : {0.1, -2.5e-7, 123456789.987654321, 1e300, -0.0, 2.0 / 3.0}) {
    char expect[1024];
    std::snprintf(expect, sizeof expect, "%f|%10.3f|%e", v, v, v);
    c.Format("%f|%10.3f|%e", v, v, v);
    EXPECT_EQ(c.toUtf8(), expect);
  }
  c.Format("Spectral CxC initialization(Channel::%I64d->%I64d)...", int64_t{306}, int64_t{-1} << 40);
  EXPECT_EQ(c, "Spectral CxC initialization(Channel::306->-1099511627776)...");
  c.Format("%I64u %5I64x %%I64d", uint64_t{18446744073709551615ull}, uint64_t{255});
  EXPECT_EQ(c, "18446744073709551615    ff %I64d");
  const std::string longName(2000, 'n');
  c.Format("%s: %s", "Größe", longName.c_str());
  c.AppendFormat("|%d", 7);
  EXPECT_EQ(c.toUtf8(), "Größe: " + longName + "|7");
}
