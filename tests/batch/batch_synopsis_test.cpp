// The command line's synopsis: --help, the manual page and the README list
// exactly the options the parser takes, in the parser's order, each with a
// value where the option takes one.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "tests/support/temp_folder.h"

namespace imp {
namespace {

using Synopsis = std::vector<BatchOptionName>;

std::string Describe(const Synopsis& synopsis) {
  std::string text;
  for (const BatchOptionName& o : synopsis) text += " [" + o.name + (o.takes_value ? " X]" : "]");
  return text;
}

// The options of the command line without their leading "--batch" and the
// "--help" of its own line, as the synopsis shows them.
Synopsis Parsed() {
  Synopsis synopsis;
  for (const BatchOptionName& o : BatchOptionTable()) {
    if (o.name != "--batch" && o.name != "--help") synopsis.push_back(o);
  }
  return synopsis;
}

// "[--name]" and "[--name VALUE]" from `text` up to `last` (the order file).
Synopsis FromBrackets(const std::string& text, const std::string& first, const std::string& last) {
  const size_t begin = text.find(first);
  const size_t end = text.find(last, begin);
  EXPECT_NE(begin, std::string::npos) << first;
  EXPECT_NE(end, std::string::npos) << last;
  if (begin == std::string::npos || end == std::string::npos) return {};
  const std::string block = text.substr(begin, end - begin);
  const std::regex option(R"(\[(--[a-z-]+)( [^\]]+)?\])");
  Synopsis synopsis;
  for (auto it = std::sregex_iterator(block.begin(), block.end(), option);
       it != std::sregex_iterator(); ++it) {
    synopsis.push_back({(*it)[1].str(), (*it)[2].matched});
  }
  return synopsis;
}

// The manual page's ".RB [ \-\-name" lines, followed by ".IR VALUE ]" when
// the option takes a value.
Synopsis FromManualPage(const std::string& page) {
  const size_t begin = page.find(".B importa-pedidos \\-\\-batch");
  const size_t end = page.find(".I PEDIDOS", begin);
  EXPECT_NE(begin, std::string::npos);
  EXPECT_NE(end, std::string::npos);
  if (begin == std::string::npos || end == std::string::npos) return {};
  std::string block = page.substr(begin, end - begin);
  block = std::regex_replace(block, std::regex(R"(\\-)"), "-");
  const std::regex option(R"(\.RB \[ (--[a-z-]+)( \])?\n)");
  Synopsis synopsis;
  for (auto it = std::sregex_iterator(block.begin(), block.end(), option);
       it != std::sregex_iterator(); ++it) {
    synopsis.push_back({(*it)[1].str(), !(*it)[2].matched});
  }
  return synopsis;
}

TEST(BatchSynopsis, EveryDocumentListsTheParsersOptions) {
  const std::string source = IMPORTA_SOURCE_DIR;
  const struct {
    const char* where;
    Synopsis synopsis;
  } documents[] = {
      {"--help", FromBrackets(BatchUsage(), "importa-pedidos --batch [", " PEDIDOS\n")},
      {"packaging/importa-pedidos.1",
       FromManualPage(testing::ReadFile(source + "/packaging/importa-pedidos.1"))},
      {"README.md", FromBrackets(testing::ReadFile(source + "/README.md"), "importa-pedidos --batch [",
                                 " ORDER_FILE\n")},
  };
  const Synopsis parsed = Parsed();
  ASSERT_GT(parsed.size(), 10u);
  for (const auto& document : documents) {
    EXPECT_EQ(Describe(document.synopsis), Describe(parsed)) << document.where;
  }
}

}  // namespace
}  // namespace imp
