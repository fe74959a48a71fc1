#include "values/scaled_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace imp {
namespace {

TEST(ScaledText, WritesTheScaledIntegerWithOrWithoutTrailingZeros) {
  const struct {
    int64_t value;
    int scale;
    char separator;
    const char* kept;
    const char* dropped;
  } cases[] = {
      {125000, -4, '.', "12.5000", "12.5"},
      {1250, -2, ',', "12,50", "12,5"},
      {-5, -2, '.', "-0.05", "-0.05"},
      {-100, -2, '.', "-1.00", "-1"},
      {0, -2, '.', "0.00", "0"},
      {7, 0, '.', "7", "7"},
      {7, 2, '.', "700", "700"},
      {std::numeric_limits<int64_t>::min(), -4, '.', "-922337203685477.5808",
       "-922337203685477.5808"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaledText(c.value, c.scale, c.separator, TrailingZeros::kKeep), c.kept) << c.value;
    EXPECT_EQ(ScaledText(c.value, c.scale, c.separator, TrailingZeros::kDrop), c.dropped)
        << c.value;
  }
}

TEST(DecimalText, NormalisesTheWholePartAndNeverSignsZero) {
  const struct {
    bool negative;
    const char* digits;
    std::size_t decimals;
    TrailingZeros zeros;
    const char* text;
  } cases[] = {
      {false, "0012345", 2, TrailingZeros::kDrop, "123.45"},
      {false, "5", 3, TrailingZeros::kKeep, "0.005"},
      {true, "000", 2, TrailingZeros::kKeep, "0.00"},
      {true, "0", 0, TrailingZeros::kDrop, "0"},
      {true, "120", 2, TrailingZeros::kDrop, "-1.2"},
      {false, "1234567890123456789012", 4, TrailingZeros::kKeep, "123456789012345678.9012"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecimalText(c.negative, c.digits, c.decimals, '.', c.zeros), c.text) << c.digits;
  }
}

}  // namespace
}  // namespace imp
