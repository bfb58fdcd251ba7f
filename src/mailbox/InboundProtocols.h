// The inbound sources a context registers for receiving: POP accounts,
// HTTP sources (registered, never polled) and shared directories. Each call
// appends one record in call order, without checking for duplicates; nothing
// happens without a context, and a record that cannot be allocated is not
// added.
#pragma once

#include <cstdint>
#include <string>

#include "frame/ThreadContext.h"

namespace quorvel {

void AddPopInProtocol(ThreadContext* context, std::string host, uint16_t port, std::string user,
                      std::string password);
void AddHttpInProtocol(ThreadContext* context, std::string firstText, uint16_t port,
                       std::string secondText);
// The directory is kept with a trailing separator.
void AddFileInProtocol(ThreadContext* context, const std::string& directory);

}  // namespace quorvel
