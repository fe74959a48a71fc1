// Seeded random inputs for every text conversion: each call either converts
// or raises the system's failure; nothing else may escape, crash or hang.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "values/bcd_value.h"
#include "values/conversions.h"
#include "values/failure.h"
#include "values/field.h"

namespace imp {
namespace {

constexpr uint32_t kSeed = 20240615;
constexpr int kRounds = 60000;

class TextSource {
 public:
  explicit TextSource(uint32_t seed) : rng_(seed) {}

  // Arbitrary bytes half the time; otherwise the characters the grammars
  // care about, so that many texts get deep into the parsers.
  std::string Next() {
    static const std::string kAlphabet = "0123456789012345 +-.,eE$xX/:;9";
    const size_t length = Pick(Pick(8) == 0 ? 400 : 24);
    std::string text;
    const bool raw = Pick(2) == 0;
    for (size_t i = 0; i < length; ++i) {
      text += raw ? static_cast<char>(Pick(256)) : kAlphabet[Pick(kAlphabet.size())];
    }
    return text;
  }

  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  std::mt19937_64& rng() { return rng_; }

 private:
  std::mt19937_64 rng_;
};

// Runs `f`; a Failure with a non-empty text is an accepted outcome.
template <typename F>
void ConvertsOrFails(F f, const std::string& text) {
  try {
    f();
  } catch (const Failure& e) {
    EXPECT_NE(std::string(e.what()), "") << text;
  } catch (...) {
    ADD_FAILURE() << "unexpected exception for \"" << text << "\"";
  }
}

RegionalSettings Settings(char decimal, char date, const char* format) {
  RegionalSettings rs;
  rs.decimal_separator = decimal;
  rs.date_separator = date;
  rs.short_date_format = format;
  return rs;
}

TEST(Fuzz, EveryTextConversionConvertsOrFails) {
  const RegionalSettings settings[] = {Settings('.', '/', "m/d/yy"), Settings(',', '/', "d/MM/yy"),
                                       Settings(',', '.', "dd.MM.yyyy"),
                                       Settings('.', '-', "yyyy-MM-dd")};
  static const FieldDef kDefs[] = {
      {"I", FieldType::kInteger, 0, false},   {"S", FieldType::kSmallInt, 0, false},
      {"D2", FieldType::kDecimal, 2, false},  {"D4", FieldType::kDecimal, 4, false},
      {"F", FieldType::kFloat, 0, false},     {"T", FieldType::kText, 8, false},
      {"C", FieldType::kFixedText, 1, false}, {"B", FieldType::kBlob, 0, false},
      {"DT", FieldType::kDate, 0, false},
  };
  const Date today = *Date::FromYmd(2024, 6, 15);
  TextSource source(kSeed);
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = source.Next();
    const RegionalSettings& rs = settings[round % 4];
    ConvertsOrFails([&] { TextToInteger(text); }, text);
    ConvertsOrFails([&] { int64_t v; ParseInteger(text, v); }, text);
    ConvertsOrFails([&] { TextToCurrency(text, rs).ToText(rs); }, text);
    ConvertsOrFails([&] { TextToDate(text, rs, today).day(); }, text);
    ConvertsOrFails(
        [&] {
          const BcdValue v = BcdValue::FromText(text, rs);
          // What was accepted reads back as written.
          EXPECT_EQ(BcdValue::FromText(v.ToText(rs), rs), v) << text;
          v.ToCurrency();
        },
        text);
    Field field(kDefs[round % std::size(kDefs)]);
    ConvertsOrFails(
        [&] {
          field.SetText(text, rs, today);
          field.AsText(rs);
          field.AsDouble();
          if (field.def().type != FieldType::kDate) field.AsCurrency();
        },
        text);
    ConvertsOrFails([&] { QuoteSqlText(text); }, text);
  }
}

// Whatever count a Currency holds, its text reads back to the same count
// under either separator; and a decimal value of at most four decimals
// reads back as exactly its own count.
TEST(Fuzz, CurrencyTextsAndDecimalValuesRoundTrip) {
  TextSource source(kSeed + 1);
  std::uniform_int_distribution<int64_t> any(INT64_MIN, INT64_MAX);
  for (int round = 0; round < kRounds; ++round) {
    // Alternate full-range counts with small ones, which have short texts.
    int64_t count = any(source.rng());
    if (round % 2) count %= int64_t{1} << (source.Pick(62) + 1);
    const Currency value = Currency::FromCount(count);
    for (char sep : {'.', ','}) {
      RegionalSettings rs;
      rs.decimal_separator = sep;
      const std::string text = value.ToText(rs);
      ASSERT_EQ(TextToCurrency(text, rs), value) << text;
      ASSERT_EQ(BcdValue::FromText(text, rs).ToCurrency(), value) << text;
      ASSERT_EQ(BcdValue::FromCurrency(value).ToCurrency(), value) << text;
    }
  }
}

// Day, month and year written in any of the orders read back to the date.
TEST(Fuzz, DatesWrittenInTheRegionalFormatReadBack) {
  const RegionalSettings settings[] = {Settings('.', '/', "m/d/yy"), Settings(',', '/', "d/MM/yy"),
                                       Settings(',', '.', "dd.MM.yyyy"),
                                       Settings('.', '-', "yyyy-MM-dd")};
  TextSource source(kSeed + 2);
  const Date today = *Date::FromYmd(2024, 6, 15);
  // The hundred years that two-digit years reach from 2024.
  const Date first = *Date::FromYmd(1974, 1, 1);
  const int64_t span = *Date::FromYmd(2074, 1, 1) - first;
  for (int round = 0; round < kRounds; ++round) {
    const Date date = first + static_cast<int64_t>(source.Pick(span));
    const RegionalSettings& rs = settings[round % 4];
    ASSERT_EQ(TextToDate(DateToText(date, rs), rs, today), date) << DateToText(date, rs);
  }
}

}  // namespace
}  // namespace imp
