#include "mailbox/InboundProtocols.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "frame/Directories.h"

namespace quorvel {

namespace {

template <typename Protocol>
void Append(ThreadContext* context, std::vector<std::unique_ptr<Protocol>> ThreadContext::*list,
            Protocol protocol) {
  if (context == nullptr) return;
  try {
    (context->*list).push_back(std::make_unique<Protocol>(std::move(protocol)));
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

void AddPopInProtocol(ThreadContext* context, std::string host, uint16_t port, std::string user,
                      std::string password) {
  Append(context, &ThreadContext::popInProtocols,
         PopInProtocol{std::move(host), port, std::move(user), std::move(password)});
}

void AddHttpInProtocol(ThreadContext* context, std::string firstText, uint16_t port,
                       std::string secondText) {
  Append(context, &ThreadContext::httpInProtocols,
         HttpInProtocol{std::move(firstText), port, std::move(secondText)});
}

void AddFileInProtocol(ThreadContext* context, const std::string& directory) {
  Append(context, &ThreadContext::fileInProtocols, FileInProtocol{NormaliseDirectory(directory)});
}

}  // namespace quorvel
