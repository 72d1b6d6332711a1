#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "platform/cstring.h"

TEST(CStringText, ConversionsKeepUnitsAndReplaceWhatCannotBeDecoded) {
  const CString s("Kanal Ä→β 𝄞");
  EXPECT_EQ(s.toUtf8(), "Kanal Ä→β 𝄞");
  EXPECT_EQ(s.GetLength(), 12);  // 10 BMP units + a surrogate pair
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(CString(lone).GetLength(), 3);  // kept as units, shown as a replacement
  EXPECT_EQ(CString(lone).toUtf8(), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(CString("x\xC3(\xFFy").units(), std::u16string(u"x\uFFFD(\uFFFDy"));
  EXPECT_EQ(CString::fromWindows1252(std::string("\x80\x9F\xE9\x41", 4)).units(), std::u16string(u"\u20AC\u0178\u00E9A"));
}

TEST(CStringText, ComparisonsAgainstUtf8) {
  CString s("Active CxC");
  EXPECT_TRUE(s == "Active CxC" && s != "active CxC" && !s.IsEmpty() && CString("a") + CString("b") == "ab");
  s.Empty();
  EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringFormat, FloatMatchesPrintfExactly) {
  for (double v : {0.1, -2.5e-7, 123456789.987654321, 1e300, -0.0, 2.0 / 3.0}) {
    char expect[1024];
    std::snprintf(expect, sizeof expect, "%f|%10.3f|%e", v, v, v);
    CString s;
    s.Format("%f|%10.3f|%e", v, v, v);
    EXPECT_EQ(s.toUtf8(), expect);
  }
}

TEST(CStringFormat, I64ModifierUtf8ArgumentsAndLongOutput) {
  CString s;
  s.Format("Spectral CxC initialization(Channel::%I64d->%I64d)...", int64_t{306}, int64_t{-1} << 40);
  EXPECT_EQ(s, "Spectral CxC initialization(Channel::306->-1099511627776)...");
  s.Format("%I64u %5I64x %%I64d", uint64_t{18446744073709551615ull}, uint64_t{255});
  EXPECT_EQ(s, "18446744073709551615    ff %I64d");
  const std::string longName(2000, 'n');
  s.Format("%s: %s", "Größe", longName.c_str());
  s.AppendFormat("|%d", 7);
  EXPECT_EQ(s.toUtf8(), "Größe: " + longName + "|7");
}
