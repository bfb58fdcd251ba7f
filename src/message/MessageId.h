// The Message-ID of a composed message: unique across the messages of one
// process (a counter), across processes and machines (the time and a random
// number drawn once per process), in the sender's domain.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// "<time.count.random@domain>", the domain from the sender's address, or
// the local host name when the address has no usable one.
std::string NewMessageId(std::string_view senderAddress);

}  // namespace quorvel
