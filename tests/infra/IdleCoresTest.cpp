#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "infra/IdleCores.h"

namespace {

TEST(IdleCoresTest, RunnableTasksAreTheFourthFieldsNumerator) {
  const struct {
    std::string_view line;
    std::optional<int> runnable;
  } cases[] = {
      {"0.52 0.58 0.59 3/467 12345\n", 3},
      {"12.00 8.10 4.00 17/1024 99", 17},
      {"0.00 0.00 0.00 0/1 1", 0},
      {"", std::nullopt},
      {"0.52 0.58 0.59", std::nullopt},
      {"0.52 0.58 0.59 /467 1", std::nullopt},
      {"0.52 0.58 0.59 x3/467 1", std::nullopt},
      {"0.52 0.58 0.59 3 467 1", std::nullopt},
      {"0.52 0.58 0.59 99999999999/467 1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(RunnableTasks(c.line), c.runnable) << c.line;
}

}  // namespace
