#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "platform/cstring.h"

TEST(CStringText, Utf8RoundTripKeepsNonAscii) {
  const CString s("Kanal Ä→β 𝄞");
  EXPECT_EQ(s.toUtf8(), "Kanal Ä→β 𝄞");
  EXPECT_EQ(s.GetLength(), 12);  // 10 BMP units + a surrogate pair
}

TEST(CStringText, LoneSurrogateIsKeptAsUnitsAndShownAsReplacement) {
  const char16_t units[] = {u'a', 0xD800, u'b', 0};
  const CString s(units);
  ASSERT_EQ(s.GetLength(), 3);
  EXPECT_EQ(s.units()[1], 0xD800);
  EXPECT_EQ(s.toUtf8(), "a\xEF\xBF\xBD" "b");
}

TEST(CStringText, MalformedUtf8BecomesReplacementCharacters) {
  const CString s("x\xC3(\xFFy");
  EXPECT_EQ(s.units(), std::u16string(u"x\uFFFD(\uFFFDy"));
}

TEST(CStringText, ComparisonsAgainstUtf8) {
  CString s("Active CxC");
  EXPECT_TRUE(s == "Active CxC");
  EXPECT_TRUE(s != "active CxC");
  EXPECT_FALSE(s.IsEmpty());
  s.Empty();
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_EQ(CString("a") + CString("b"), "ab");
}

TEST(CStringText, Windows1252DecodesTheC1Range) {
  const CString s = CString::fromWindows1252(std::string("\x80\x9F\xE9\x41", 4));
  EXPECT_EQ(s.units(), std::u16string(u"\u20AC\u0178\u00E9A"));
}

TEST(CStringFormat, FloatMatchesPrintfExactly) {
  const double values[] = {0.1, -2.5e-7, 123456789.987654321, 1e300, -0.0, 2.0 / 3.0};
  for (double v : values) {
    char expect[1024];
    std::snprintf(expect, sizeof expect, "%f|%10.3f|%e", v, v, v);
    CString s;
    s.Format("%f|%10.3f|%e", v, v, v);
    EXPECT_EQ(s.toUtf8(), expect);
  }
}

TEST(CStringFormat, I64ModifierTakesSixtyFourBitIntegers) {
  CString s;
  s.Format("Spectral CxC initialization(Channel::%I64d->%I64d)...", int64_t{306}, int64_t{-1} << 40);
  EXPECT_EQ(s, "Spectral CxC initialization(Channel::306->-1099511627776)...");
  s.Format("%I64u %5I64x %%I64d", uint64_t{18446744073709551615ull}, uint64_t{255});
  EXPECT_EQ(s, "18446744073709551615    ff %I64d");
}

TEST(CStringFormat, StringArgumentIsUtf8AndLongOutputIsComplete) {
  const std::string longName(2000, 'n');
  CString s;
  s.Format("%s: %s", "Größe", longName.c_str());
  EXPECT_EQ(s.GetLength(), 7 + 2000);
  EXPECT_EQ(s.toUtf8().substr(0, 9), "Größe: ");
  s.AppendFormat("|%d", 7);
  EXPECT_EQ(s.toUtf8().back(), '7');
}
