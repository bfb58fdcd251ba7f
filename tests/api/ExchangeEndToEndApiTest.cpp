// The exchange end to end over shared directories, through libquorvel.so:
// each user's items go by kind-3 routes into a directory that the other
// user's mailbox receives from.
#include <filesystem>

#include "ExchangeStory.h"

namespace {

using namespace quorvel::testing;

class SharedDirectories : public ExchangeTransport {
 public:
  SharedDirectories() {
    for (const char* user : {"pupil", "tutor"}) std::filesystem::create_directory(Inbox(user));
  }
  std::string Route(const std::string&, const std::string& toUser) const override {
    return "3|" + Inbox(toUser);
  }
  void RegisterInbound(const std::string& user) const override {
    TessalyAddProtocolFileIn(Inbox(user).c_str());
  }
  // A copy into the directory is there once the send run has returned.
  void AwaitDelivery(const std::string& user) const override {
    EXPECT_FALSE(std::filesystem::is_empty(Inbox(user))) << user;
  }

 private:
  std::string Inbox(const std::string& user) const { return shared_ / ("to-" + user); }
  TempDirectory shared_;
};

TEST(ExchangeEndToEnd, PupilToTutorToPupilOverSharedDirectories) {
  const SharedDirectories transport;
  ExchangeStory(transport, "pupil", "tutor").Run();
}

}  // namespace
