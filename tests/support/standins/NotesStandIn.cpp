// A stand-in Notes client library: all 32 entry points, each recording its
// call with its arguments and answering a scripted status (0 by default).
// Handles are fixed numbers so that the log shows which object each call
// was given. Built without NSFNoteAttachFile it is an incomplete library.
#include <cstring>

#include "StandInLog.h"
#include "mail/NotesApi.h"

namespace {

using namespace quorvel::notes;

std::string N(uint64_t value) { return std::to_string(value); }

Status Record(const char* name, const std::string& arguments) {
  return static_cast<Status>(standin::Record(name, arguments));
}

void Copy(char* target, const char* text) { std::strcpy(target, text); }

}  // namespace

#define STANDIN extern "C" __attribute__((visibility("default")))

STANDIN Status NotesInit() { return Record("NotesInit", ""); }
STANDIN Status NotesTerm() { return Record("NotesTerm", ""); }
STANDIN Status NotesInitThread() { return Record("NotesInitThread", ""); }
STANDIN Status NotesTermThread() { return Record("NotesTermThread", ""); }
STANDIN Status OSLoadString() { return Record("OSLoadString", ""); }
STANDIN Status ConvertTIMEDATEToText() { return Record("ConvertTIMEDATEToText", ""); }
STANDIN Status MailTransferMessageLocal() { return Record("MailTransferMessageLocal", ""); }

STANDIN bool OSGetEnvironmentString(const char* name, char* value, uint16_t size) {
  const bool missing = Record("OSGetEnvironmentString", standin::Text(name) + ", " + N(size)) != 0;
  if (missing) return false;
  Copy(value, std::strcmp(name, "MailServer") == 0 ? "CN=Hub/O=School" : "mail/pupil.nsf");
  return true;
}
STANDIN Status OSPathNetConstruct(const char* port, const char* server, const char* file,
                                  char* path) {
  Copy(path, (std::string(server) + "!!" + file).c_str());
  return Record("OSPathNetConstruct",
                standin::Text(port) + ", " + standin::Text(server) + ", " + standin::Text(file));
}
STANDIN Status MailOpenMessageFile(const char* path, Handle* file) {
  *file = 11;
  return Record("MailOpenMessageFile", standin::Text(path));
}
STANDIN Status MailCreateMessage(Handle file, Handle* message) {
  *message = 22;
  return Record("MailCreateMessage", N(file));
}
STANDIN Status ListAllocate(uint16_t quantity, uint16_t length, bool prefix, Handle* list,
                            void** memory, uint16_t* size) {
  *list = static_cast<Handle>(31 + standin::CallCounts()["ListAllocate"]);
  *memory = nullptr;
  *size = 2;
  return Record("ListAllocate", N(quantity) + ", " + N(length) + ", " + N(prefix));
}
STANDIN bool OSUnlockObject(Handle object) {
  Record("OSUnlockObject", N(object));
  return true;
}
STANDIN Status ListAddEntry(Handle list, bool prefix, uint16_t* size, uint16_t entry,
                            const char* text, uint16_t textSize) {
  const std::string arguments = N(list) + ", " + N(prefix) + ", " + N(*size) + ", " + N(entry) +
                                ", " + standin::Text(text) + ", " + N(textSize);
  *size = static_cast<uint16_t>(*size + textSize + 2);
  return Record("ListAddEntry", arguments);
}
STANDIN Status MailAddRecipientsItem(Handle message, Handle list, uint16_t size) {
  return Record("MailAddRecipientsItem", N(message) + ", " + N(list) + ", " + N(size));
}
STANDIN Status MailAddHeaderItemByHandle(Handle message, uint16_t item, Handle value,
                                         uint16_t length, uint16_t flags) {
  return Record("MailAddHeaderItemByHandle", N(message) + ", " + N(item) + ", " + N(value) +
                                                 ", " + N(length) + ", " + N(flags));
}
STANDIN Status MailAddHeaderItem(Handle message, uint16_t item, const char* value,
                                 uint16_t length) {
  std::string shown;
  for (uint16_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(value[i]);
    shown += byte >= 0x20 && byte < 0x7F ? std::string(1, static_cast<char>(byte))
                                         : "\\" + N(byte);
  }
  return Record("MailAddHeaderItem",
                N(message) + ", " + N(item) + ", \"" + shown + "\", " + N(length));
}
STANDIN Status SECKFMGetUserName(char* name) {
  Copy(name, "CN=Pupil P/O=School");
  return Record("SECKFMGetUserName", "");
}
STANDIN void OSCurrentTIMEDATE(TimeDate* now) {
  now->innards[0] = 0x34333231;  // "1234"
  now->innards[1] = 0x38373635;  // "5678"
  Record("OSCurrentTIMEDATE", "");
}
STANDIN Status MailCreateBodyItem(Handle* body, uint32_t* length) {
  *body = 55;
  *length = 0;
  return Record("MailCreateBodyItem", "");
}
STANDIN Status MailAppendBodyItemLine(Handle body, uint32_t* length, const char* text,
                                      uint16_t textLength) {
  const std::string arguments = N(body) + ", " + N(*length) + ", " + standin::Text(text) + ", " +
                                N(textLength);
  *length += textLength;
  return Record("MailAppendBodyItemLine", arguments);
}
STANDIN Status MailAddBodyItem(Handle message, Handle body, uint32_t length, void* unused) {
  return Record("MailAddBodyItem", N(message) + ", " + N(body) + ", " + N(length) + ", " +
                                       (unused == nullptr ? "null" : "set"));
}
#ifndef STANDIN_INCOMPLETE
STANDIN Status NSFNoteAttachFile(Handle message, const char* item, uint16_t itemLength,
                                 const char* path, const char* name, uint16_t encoding) {
  return Record("NSFNoteAttachFile", N(message) + ", " + standin::Text(item) + ", " +
                                         N(itemLength) + ", " + standin::Text(path) + ", " +
                                         standin::Text(name) + ", " + N(encoding));
}
#endif
STANDIN Status NSFDbOpen(const char* path, Handle* database) {
  *database = 44;
  return Record("NSFDbOpen", standin::Text(path));
}
STANDIN void NSFNoteGetInfo(Handle message, uint16_t kind, void* value) {
  if (kind == 0) *static_cast<Handle*>(value) = 11;
  if (kind == 1) *static_cast<uint32_t*>(value) = 7;
  if (kind == 2) static_cast<OriginatorId*>(value)->words[0] = 70;
  Record("NSFNoteGetInfo", N(message) + ", " + N(kind));
}
STANDIN void NSFNoteSetInfo(Handle message, uint16_t kind, void* value) {
  const uint32_t shown = kind == 2 ? static_cast<OriginatorId*>(value)->words[0]
                                   : *static_cast<uint32_t*>(value);
  Record("NSFNoteSetInfo", N(message) + ", " + N(kind) + ", " + N(shown));
}
STANDIN Status NSFDbGenerateOID(Handle database, OriginatorId* oid) {
  oid->words[0] = 90;
  return Record("NSFDbGenerateOID", N(database));
}
STANDIN Status NSFNoteUpdate(Handle message, uint16_t flags) {
  return Record("NSFNoteUpdate", N(message) + ", " + N(flags));
}
STANDIN Status OSMemFree(Handle block) { return Record("OSMemFree", N(block)); }
STANDIN Status MailCloseMessage(Handle message) { return Record("MailCloseMessage", N(message)); }
STANDIN Status NSFDbClose(Handle database) { return Record("NSFDbClose", N(database)); }
STANDIN Status MailCloseMessageFile(Handle file) {
  return Record("MailCloseMessageFile", N(file));
}
