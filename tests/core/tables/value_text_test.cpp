// The shared spellings of values and the byte-order helpers the file formats
// are read and written with.

#include "core/tables/value_text.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "core/base/byte_order.h"

namespace velmar {
namespace {

TEST(ByteOrderTest, BothOrdersRoundTripAndLayBytesOutAsTheFormatsWant) {
  uint8_t b[8];
  StoreLe32(b, 0x11223344u);
  EXPECT_EQ(b[0], 0x44);
  EXPECT_EQ(b[3], 0x11);
  EXPECT_EQ(LoadLe32(b), 0x11223344u);
  StoreBe32(b, 0x11223344u);
  EXPECT_EQ(b[0], 0x11);
  EXPECT_EQ(LoadBe32(b), 0x11223344u);
  StoreLe64(b, 0x0102030405060708ull);
  EXPECT_EQ(LoadLe64(b), 0x0102030405060708ull);
  EXPECT_EQ(LoadBe64(b), 0x0807060504030201ull);
  // The 16-bit stores keep the low bytes of a wider value.
  StoreLe16(b, 0xABCD1234u);
  EXPECT_EQ(LoadLe16(b), 0x1234);
  StoreBe16(b, 0x8000u ^ 0x7FFFu);
  EXPECT_EQ(LoadBe16(b), 0xFFFF);
  // High bytes must not sign-extend into the result.
  const uint8_t high[4] = {0xFF, 0xFE, 0xFD, 0xFC};
  EXPECT_EQ(LoadLe32(high), 0xFCFDFEFFu);
  EXPECT_EQ(LoadBe16(high), 0xFFFE);
}

TEST(ValueTextTest, DatesTimesBytesAndJsonStrings) {
  EXPECT_EQ(DateText(Date{987, 3, 1}), "0987-03-01");
  EXPECT_EQ(TimeText(0), "00:00:00");
  EXPECT_EQ(TimeText(13 * 3600000 + 5 * 60000 + 9000 + 250), "13:05:09.250");
  EXPECT_EQ(TimeText(86399999), "23:59:59.999");
  EXPECT_EQ(HexText(Bytes{0x00, 0xAB, 0x0F}), "00ab0f");
  EXPECT_EQ(JsonQuote("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\n\\t\\u0001\"");
  EXPECT_EQ(JsonQuote("Привет"), "\"Привет\"");
}

}  // namespace
}  // namespace velmar
