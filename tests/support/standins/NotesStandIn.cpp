// A stand-in Notes client library: all 32 entry points record their call and answer a scripted
// status (0 by default). Handles are fixed numbers, so the log shows each call's object.
// Built without NSFNoteAttachFile it is an incomplete library.
#include <cstring>

#include "StandInLog.h"
#include "mail/NotesApi.h"

using namespace quorvel::notes;

// Logs the entry point that calls it with `arguments` and answers its status.
#define RECORD(...) static_cast<Status>(standin::Record(__func__, standin::Arguments(__VA_ARGS__)))
#define STANDIN extern "C" __attribute__((visibility("default")))

STANDIN Status NotesInit() { return RECORD(); }
STANDIN Status NotesTerm() { return RECORD(); }
STANDIN Status NotesInitThread() { return RECORD(); }
STANDIN Status NotesTermThread() { return RECORD(); }
STANDIN Status OSLoadString() { return RECORD(); }
STANDIN Status ConvertTIMEDATEToText() { return RECORD(); }
STANDIN Status MailTransferMessageLocal() { return RECORD(); }

STANDIN bool OSGetEnvironmentString(const char* name, char* value, uint16_t size) {
  if (RECORD(name, size) != 0) return false;
  std::strcpy(value, std::strcmp(name, "MailServer") == 0 ? "CN=Hub/O=School" : "mail/pupil.nsf");
  return true;
}
STANDIN Status OSPathNetConstruct(const char* port, const char* server, const char* file,
                                  char* path) {
  std::strcpy(path, (std::string(server) + "!!" + file).c_str());
  return RECORD(port, server, file);
}
STANDIN Status MailOpenMessageFile(const char* path, Handle* file) {
  *file = 11;
  return RECORD(path);
}
STANDIN Status MailCreateMessage(Handle file, Handle* message) {
  *message = 22;
  return RECORD(file);
}
STANDIN Status ListAllocate(uint16_t quantity, uint16_t length, bool prefix, Handle* list,
                            void** memory, uint16_t* size) {
  *list = static_cast<Handle>(31 + standin::CallCounts()["ListAllocate"]);
  *memory = nullptr;
  *size = 2;
  return RECORD(quantity, length, prefix);
}
STANDIN bool OSUnlockObject(Handle object) {
  RECORD(object);
  return true;
}
STANDIN Status ListAddEntry(Handle list, bool prefix, uint16_t* size, uint16_t entry,
                            const char* text, uint16_t textSize) {
  const uint16_t before = *size;
  *size = static_cast<uint16_t>(*size + textSize + 2);
  return RECORD(list, prefix, before, entry, text, textSize);
}
STANDIN Status MailAddRecipientsItem(Handle message, Handle list, uint16_t size) {
  return RECORD(message, list, size);
}
STANDIN Status MailAddHeaderItemByHandle(Handle message, uint16_t item, Handle value,
                                         uint16_t length, uint16_t flags) {
  return RECORD(message, item, value, length, flags);
}
STANDIN Status MailAddHeaderItem(Handle message, uint16_t item, const char* value,
                                 uint16_t length) {
  std::string shown = "\"";
  for (uint16_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(value[i]);
    shown += byte >= 0x20 && byte < 0x7F ? std::string(1, static_cast<char>(byte))
                                         : "\\" + std::to_string(byte);
  }
  return RECORD(message, item, shown + "\"", length);
}
STANDIN Status SECKFMGetUserName(char* name) {
  std::strcpy(name, "CN=Pupil P/O=School");
  return RECORD();
}
STANDIN void OSCurrentTIMEDATE(TimeDate* now) {
  now->innards[0] = 0x34333231;  // "1234"
  now->innards[1] = 0x38373635;  // "5678"
  RECORD();
}
STANDIN Status MailCreateBodyItem(Handle* body, uint32_t* length) {
  *body = 55;
  *length = 0;
  return RECORD();
}
STANDIN Status MailAppendBodyItemLine(Handle body, uint32_t* length, const char* text,
                                      uint16_t textLength) {
  const uint32_t before = *length;
  *length += textLength;
  return RECORD(body, before, text, textLength);
}
STANDIN Status MailAddBodyItem(Handle message, Handle body, uint32_t length, void* unused) {
  return RECORD(message, body, length, std::string(unused == nullptr ? "null" : "set"));
}
#ifndef STANDIN_INCOMPLETE
STANDIN Status NSFNoteAttachFile(Handle message, const char* item, uint16_t itemLength,
                                 const char* path, const char* name, uint16_t encoding) {
  return RECORD(message, item, itemLength, path, name, encoding);
}
#endif
STANDIN Status NSFDbOpen(const char* path, Handle* database) {
  *database = 44;
  return RECORD(path);
}
STANDIN void NSFNoteGetInfo(Handle message, uint16_t kind, void* value) {
  if (kind == 0) *static_cast<Handle*>(value) = 11;
  if (kind == 1) *static_cast<uint32_t*>(value) = 7;
  if (kind == 2) static_cast<OriginatorId*>(value)->words[0] = 70;
  RECORD(message, kind);
}
STANDIN void NSFNoteSetInfo(Handle message, uint16_t kind, void* value) {
  RECORD(message, kind, kind == 2 ? static_cast<OriginatorId*>(value)->words[0]
                                  : *static_cast<uint32_t*>(value));
}
STANDIN Status NSFDbGenerateOID(Handle database, OriginatorId* oid) {
  oid->words[0] = 90;
  return RECORD(database);
}
STANDIN Status NSFNoteUpdate(Handle message, uint16_t flags) { return RECORD(message, flags); }
STANDIN Status OSMemFree(Handle block) { return RECORD(block); }
STANDIN Status MailCloseMessage(Handle message) { return RECORD(message); }
STANDIN Status NSFDbClose(Handle database) { return RECORD(database); }
STANDIN Status MailCloseMessageFile(Handle file) { return RECORD(file); }
