// Markup built on many threads at once (the tags themselves are the exchange scripts' cases).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "exchange/Markup.h"

namespace quorvel::exchange {
namespace {

TEST(Markup, StatesBuiltOnManyThreadsAtOnceShareOneVocabulary) {
  std::vector<std::thread> threads;
  std::vector<std::u16string> tags(8);
  for (size_t i = 0; i < tags.size(); ++i) {
    threads.emplace_back([&tags, i] { tags[i] = std::u16string(TextToMarkup("x", 1252).View()); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::u16string& tag : tags) EXPECT_EQ(tag, u"<Cp1252>x");
}

}  // namespace
}  // namespace quorvel::exchange
