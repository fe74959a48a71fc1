#include "values/decimal_sum.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace imp {
namespace {

DecimalSum SumOf(std::initializer_list<const char*> texts, int column_scale) {
  const RegionalSettings plain;
  DecimalSum sum;
  for (const char* text : texts) sum.AddAsStored(BcdValue::FromText(text, plain), column_scale);
  return sum;
}

TEST(DecimalSum, AddsEachValueAsItsColumnStoresIt) {
  const struct {
    std::initializer_list<const char*> values;
    int column_scale;
    const char* text;
  } cases[] = {
      {{"1.005"}, 2, "1.01"},                 // half goes away from zero
      {{"-1.005"}, 2, "-1.01"},
      {{"1.0049"}, 2, "1"},
      {{"0.004"}, 2, "0"},
      {{"99.995"}, 2, "100"},                 // the carry reaches the whole part
      {{"1.005", "1.005"}, 2, "2.02"},        // rounded one by one, not the sum
      {{"0.01", "-0.02"}, 2, "-0.01"},        // fewer digits than decimals
      {{"0.5", "-0.5"}, 2, "0"},              // no sign on zero
      {{"-3", "1.25"}, 2, "-1.75"},
      {{"1.2", "3.45"}, 4, "4.65"},           // scales mixed, zeros dropped
      {{"1.23456"}, -1, "1.23456"},           // kept as it is
      {{"123456789012345.67", "0.33"}, 2, "123456789012346"},  // beyond a double
      {{"999999999999999.99", "999999999999999.99"}, 2, "1999999999999999.98"},
  };
  for (const auto& c : cases) {
    const DecimalSum sum = SumOf(c.values, c.column_scale);
    EXPECT_FALSE(sum.empty());
    EXPECT_EQ(sum.ToText('.'), c.text) << *c.values.begin();
  }
}

TEST(DecimalSum, IsEmptyUntilAddedToAndWritesTheGivenSeparator) {
  EXPECT_TRUE(DecimalSum().empty());
  EXPECT_EQ(SumOf({"2.5", "0.25"}, 2).ToText(','), "2,75");
}

}  // namespace
}  // namespace imp
