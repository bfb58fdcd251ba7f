// The record kinds an item's root block stores under tag 10000, and the main
// block of each.
#pragma once

#include <cstdint>

namespace quorvel::exchange {

inline constexpr uint8_t kKindPupilMail = 20;
inline constexpr uint8_t kKindTutorReply = 21;
inline constexpr uint8_t kKindTimedMessage = 22;
inline constexpr uint8_t kKindPlainTextMessage = 23;

inline constexpr uint16_t kBlockItemStamp = 10100;
inline constexpr uint16_t kBlockPupilMessage = 10200;
inline constexpr uint16_t kBlockTutorReply = 10300;
inline constexpr uint16_t kBlockTimedMessage = 10400;
inline constexpr uint16_t kBlockAttachments = 10600;
inline constexpr uint16_t kBlockUserData = 10700;
inline constexpr uint16_t kBlockNameHistory = 10800;
inline constexpr uint16_t kBlockPlainTextMessage = 10900;

}  // namespace quorvel::exchange
