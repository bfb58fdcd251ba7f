// The functions of the Notes client library (nnotes) that the library calls,
// with the values it passes; shared with the tests' stand-in library.
#pragma once

#include <cstdint>

namespace quorvel::notes {

using Status = uint16_t;  // 0 = success
using Handle = uint32_t;  // databases, notes and memory blocks

struct TimeDate {
  uint32_t innards[2];
};
struct OriginatorId {
  uint32_t words[7];
};

// Header items of a memo.
inline constexpr uint16_t kItemSendTo = 0;
inline constexpr uint16_t kItemCopyTo = 1;
inline constexpr uint16_t kItemFrom = 2;
inline constexpr uint16_t kItemSubject = 3;
inline constexpr uint16_t kItemComposedDate = 4;
inline constexpr uint16_t kItemPostedDate = 5;
inline constexpr uint16_t kItemForm = 11;
inline constexpr uint16_t kItemDeliveryPriority = 14;
inline constexpr uint16_t kItemDeliveryReport = 15;
// Note information kinds.
inline constexpr uint16_t kNoteDatabase = 0;
inline constexpr uint16_t kNoteId = 1;
inline constexpr uint16_t kNoteOid = 2;
inline constexpr uint16_t kUpdateForce = 4;
inline constexpr uint16_t kAttachEncoding = 0x0F00;

using InitFunction = Status (*)();
using GetEnvironmentStringFunction = bool (*)(const char* name, char* value, uint16_t size);
using PathNetConstructFunction = Status (*)(const char* port, const char* server,
                                            const char* file, char* path);
using OpenFunction = Status (*)(const char* path, Handle* handle);
using CreateMessageFunction = Status (*)(Handle file, Handle* message);
using ListAllocateFunction = Status (*)(uint16_t quantity, uint16_t length, bool prefixDataType,
                                        Handle* list, void** listMemory, uint16_t* listSize);
using UnlockObjectFunction = bool (*)(Handle object);
using ListAddEntryFunction = Status (*)(Handle list, bool prefixDataType, uint16_t* listSize,
                                        uint16_t entry, const char* text, uint16_t textSize);
using AddRecipientsItemFunction = Status (*)(Handle message, Handle list, uint16_t listSize);
using AddHeaderItemByHandleFunction = Status (*)(Handle message, uint16_t item, Handle value,
                                                 uint16_t valueLength, uint16_t flags);
using AddHeaderItemFunction = Status (*)(Handle message, uint16_t item, const char* value,
                                         uint16_t valueLength);
using GetUserNameFunction = Status (*)(char* name);
using CurrentTimeDateFunction = void (*)(TimeDate* now);
using CreateBodyItemFunction = Status (*)(Handle* body, uint32_t* bodyLength);
using AppendBodyItemLineFunction = Status (*)(Handle body, uint32_t* bodyLength,
                                              const char* text, uint16_t textLength);
using AddBodyItemFunction = Status (*)(Handle message, Handle body, uint32_t bodyLength,
                                       void* unused);
using AttachFileFunction = Status (*)(Handle message, const char* itemName,
                                      uint16_t itemNameLength, const char* path,
                                      const char* originalName, uint16_t encoding);
using NoteInfoFunction = void (*)(Handle message, uint16_t kind, void* value);
using GenerateOidFunction = Status (*)(Handle database, OriginatorId* oid);
using NoteUpdateFunction = Status (*)(Handle message, uint16_t flags);
using CloseFunction = Status (*)(Handle handle);

}  // namespace quorvel::notes
