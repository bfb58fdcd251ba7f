// A few thousand random filings, replies and removals against a model that
// knows only each item's parent: after every step the mailbox must show the
// model's order, depths, parents and outbox queue, also across closing and
// reopening.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "MailboxFixture.h"
#include "mailbox/ItemQueries.h"
#include "mailbox/ItemRemoval.h"

namespace quorvel::testing {
namespace {

// Items by id (ids grow with filing) with their parent id, 0 for a root.
class TreeModel {
 public:
  void File(uint32_t id, uint32_t parent) { parents_[id] = parent; }
  bool Has(uint32_t id) const { return parents_.count(id) != 0; }
  uint32_t Parent(uint32_t id) const { return parents_.at(id); }
  size_t Size() const { return parents_.size(); }

  // Display order: roots in filing order, each followed by its replies in
  // filing order, recursively.
  std::vector<uint32_t> Order() const {
    std::vector<uint32_t> order;
    for (const auto& [id, parent] : parents_) {
      if (parent == 0) Visit(id, order);
    }
    return order;
  }
  uint32_t Depth(uint32_t id) const {
    uint32_t depth = 0;
    for (uint32_t at = Parent(id); at != 0; at = Parent(at)) ++depth;
    return depth;
  }
  // Removes `id` and everything below it.
  void Remove(uint32_t id) {
    for (const auto& [child, parent] : std::map<uint32_t, uint32_t>(parents_)) {
      if (parent == id && Has(child)) Remove(child);
    }
    parents_.erase(id);
  }

 private:
  void Visit(uint32_t id, std::vector<uint32_t>& order) const {
    order.push_back(id);
    for (const auto& [child, parent] : parents_) {
      if (parent == id) Visit(child, order);
    }
  }

  std::map<uint32_t, uint32_t> parents_;
};

class MailboxModelTest : public MailboxTest {
 protected:
  MailboxModelTest() { context.mailbox.reset(&mailbox); }
  ~MailboxModelTest() override { static_cast<void>(context.mailbox.release()); }

  void ExpectAsModel(int step) {
    const std::vector<uint32_t> order = model.Order();
    ASSERT_EQ(mailbox.Index().Count(), order.size()) << "step " << step;
    std::map<uint32_t, uint32_t> positions;
    for (uint32_t i = 0; i < order.size(); ++i) positions[order[i]] = i;
    for (uint32_t i = 0; i < order.size(); ++i) {
      const uint32_t id = order[i];
      ASSERT_EQ(mailbox.Index().IdAt(i), id) << "step " << step << ", position " << i;
      ASSERT_EQ(mailbox.Index().EntryAt(i).depth, model.Depth(id)) << "step " << step;
      const uint32_t parent = model.Parent(id);
      ASSERT_EQ(ParentIdOf(&context, id), parent == 0 ? -2 : static_cast<int32_t>(parent))
          << "step " << step << ", id " << id;
      ASSERT_EQ(ParentIndexOf(&context, id),
                parent == 0 ? -2 : static_cast<int32_t>(positions[parent]))
          << "step " << step << ", id " << id;
    }
    std::vector<uint32_t> queue;
    for (const auto& [id, parent] : positions) queue.push_back(id);  // filing order
    ASSERT_EQ(mailbox.Index().outboxQueue, queue) << "step " << step;
  }

  TreeModel model;
  ThreadContext context;
};

TEST_F(MailboxModelTest, RandomFilingsRepliesAndRemovalsFollowTheModel) {
  ASSERT_TRUE(Open());
  std::mt19937 random(11);
  uint32_t highestId = 0;
  const int steps = 3000;
  for (int step = 0; step < steps; ++step) {
    const uint32_t count = mailbox.Index().Count();
    const uint32_t choice = random() % 100;
    if (count == 0 || choice < 30) {
      const uint32_t id = FileMail();
      ASSERT_GT(id, highestId) << "ids are never given out again";
      highestId = id;
      model.File(id, 0);
    } else if (choice < 65) {
      const uint32_t parent = mailbox.Index().IdAt(random() % count);
      const uint32_t id = FileAnswer(parent);
      ASSERT_GT(id, highestId);
      highestId = id;
      model.File(id, parent);
    } else if (choice < 90) {
      const uint32_t index = random() % (count + 2);  // now and then past the end
      const bool named = index < count;
      if (named) model.Remove(mailbox.Index().IdAt(index));
      ASSERT_EQ(RemoveMailAtIndex(&context, index), named) << "step " << step;
    } else {
      std::string list;
      std::vector<uint32_t> named;
      for (int n = random() % 4; n > 0; --n) {
        const uint32_t index = random() % count;
        list += std::to_string(index) + (random() % 2 ? " , " : ",");
        named.push_back(mailbox.Index().IdAt(index));
      }
      for (const uint32_t id : named) {
        if (model.Has(id)) model.Remove(id);
      }
      ASSERT_TRUE(RemoveMailsAtIndexes(&context, list)) << "step " << step << ": " << list;
    }
    ASSERT_NO_FATAL_FAILURE(ExpectAsModel(step));
    if (step % 500 == 499) {
      ASSERT_TRUE(mailbox.CloseIndex(false));
      ASSERT_TRUE(Open());
      ASSERT_NO_FATAL_FAILURE(ExpectAsModel(step));
    }
  }
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
    files += entry.path().extension() == ".qv6" ? 1 : 0;
  }
  EXPECT_EQ(files, model.Size()) << "every removed item's file is gone, every listed one there";
}

}  // namespace
}  // namespace quorvel::testing
