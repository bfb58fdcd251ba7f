// quorvel exchange BASE USER: one exchange run of a mailbox through the
// exported functions, as a host makes it: register the POP accounts and
// shared directories given, receive, send, and print what was received,
// sent and not sent.
#include <cstdio>
#include <filesystem>
#include <string>

#include "Commands.h"
#include "ExchangeRun.h"
#include "ExitCodes.h"
#include "ItemOptions.h"

namespace quorvel::tool {

namespace {

struct PopAccount {
  std::string host;
  uint16_t port = 0;
  std::string user;
  std::string password;
};

// HOST:PORT:USER:PASSWORD; the password may hold colons.
bool ParsePopAccount(const std::string& text, PopAccount& account) {
  const size_t first = text.find(':');
  const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  const size_t third = second == std::string::npos ? second : text.find(':', second + 1);
  if (third == std::string::npos) return false;
  uint32_t port = 0;
  if (!ParseIndex(text.substr(first + 1, second - first - 1), port) || port == 0 || port > 65535) {
    return false;
  }
  account = {text.substr(0, first), static_cast<uint16_t>(port),
             text.substr(second + 1, third - second - 1), text.substr(third + 1)};
  return !account.host.empty();
}

int RunExchangeCommand(const Invocation& invocation) {
  std::vector<PopAccount> accounts;
  for (const std::string& value : invocation.Values("--pop")) {
    PopAccount account;
    if (!ParsePopAccount(value, account)) {
      return UsageError(invocation.command(),
                        "option --pop: \"" + value + "\" is not HOST:PORT:USER:PASSWORD");
    }
    accounts.push_back(account);
  }
  ExchangeRequest request;
  request.receive = invocation.Has("--receive");
  request.send = invocation.Has("--send");
  if (!request.receive && !request.send) request.receive = request.send = true;

  // The library creates the levels of an absolute path only.
  const std::string base = std::filesystem::absolute(invocation.operands()[0]).string();
  const std::string& user = invocation.operands()[1];
  OpenMailbox mailbox(base, user);
  if (!mailbox.IsOpen()) {
    invocation.Complain("cannot open the mailbox of " + user + " in " + invocation.operands()[0] +
                        " (is another program using it?)");
    return kExitBadFile;
  }
  for (const PopAccount& account : accounts) {
    TessalyAddProtocolPopIn(account.host.c_str(), account.port, account.user.c_str(),
                            account.password.c_str());
  }
  for (const std::string& directory : invocation.Values("--from-dir")) {
    TessalyAddProtocolFileIn(std::filesystem::absolute(directory).string().c_str());
  }
  const ExchangeReport report = RunExchange(request);
  if (!report.succeeded) {
    invocation.Complain("the library refused the run (is sending or receiving locked?)");
    return kExitOtherFailure;
  }
  PrintExchangeReport(request, report, stdout);
  return kExitOk;
}

}  // namespace

const CommandDefinition kExchangeCommand = {
    "exchange", "BASE USER", 2, 2,
    "one exchange run of a mailbox: receive from the sources given, send the outbox",
    {
        {"--send", nullptr, "send the items waiting in the outbox"},
        {"--receive", nullptr, "receive from the POP accounts and directories given"},
        {"--pop", "HOST:PORT:USER:PASSWORD", "a POP account to receive from", false, true},
        {"--from-dir", "DIR", "a shared directory to receive exchange files from", false, true},
    },
    RunExchangeCommand,
    nullptr,
    "Opens the mailbox BASE/USER/mailbox/ as a host does, registers the POP\n"
    "accounts and shared directories given, receives from them, sends the items\n"
    "waiting in the outbox (neither --send nor --receive: both), and prints what\n"
    "was received, sent and not sent.\n",
};

}  // namespace quorvel::tool
