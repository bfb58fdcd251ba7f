#include "mailbox/ItemRecord.h"

#include "exchange/PupilMessage.h"
#include "exchange/RecordKinds.h"
#include "exchange/TutorReply.h"

namespace quorvel {

namespace {

constexpr uint16_t kTagFirstAttachment = 10601;
constexpr uint16_t kTagOptionsUpdate = 10704;
constexpr uint16_t kBlockLearningPaths = 11705;

bool HoldsFile(exchange::RecordFile& item, uint16_t tag) {
  CodedText name;
  uint32_t size = 0;
  return item.GetFileInfo(tag, name, size);
}

}  // namespace

bool DescribeMessage(exchange::RecordFile& item, IndexEntry& entry, uint32_t* number) {
  const uint8_t kind = item.Kind();
  entry.messageType = kind;
  if (kind == exchange::kKindTutorReply) {
    exchange::TutorReply reply;
    if (!reply.Read(item)) return false;
    entry.messageFlagA = entry.messageFlagB = 0;
    entry.correspondent = reply.correspondent;
    if (number != nullptr) *number = reply.number;
    return true;
  }
  if (kind == exchange::kKindPupilMail || kind == exchange::kKindTimedMessage) {
    exchange::PupilMessage message;
    if (!message.Read(item)) return false;
    entry.messageFlagA = message.messageFlagA;
    entry.messageFlagB = message.messageFlagB;
    entry.correspondent = message.correspondent;
    if (number != nullptr) *number = message.number;
    return true;
  }
  return false;
}

uint16_t ContentAttributes(exchange::RecordFile& item) {
  uint16_t attributes = 0;
  if (item.EnterBlock(exchange::kBlockAttachments)) {
    if (HoldsFile(item, kTagFirstAttachment)) attributes |= kItemHasAttachments;
    item.LeaveBlock();
  }
  if (item.EnterBlock(exchange::kBlockUserData)) {
    bool learningData = HoldsFile(item, kTagOptionsUpdate);
    if (item.EnterBlock(kBlockLearningPaths)) {
      learningData = learningData || HoldsFile(item, 0);
      item.LeaveBlock();
    }
    if (learningData) attributes |= kItemHasLearningData;
    item.LeaveBlock();
  }
  return attributes;
}

}  // namespace quorvel
