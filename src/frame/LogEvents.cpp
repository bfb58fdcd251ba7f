// Numbers are printed as the 32-bit C library printed them ("%d" and "%ld"
// with a 32-bit long), so a key or code above 0x7FFFFFFF shows as negative.
#include "frame/LogEvents.h"

#include <cstdio>

#include "frame/DailyLogFile.h"
#include "frame/LogTable.h"

namespace quorvel {

namespace {

constexpr size_t kMaxExceptionMessage = 255;

std::string Signed(uint32_t value) { return std::to_string(static_cast<int32_t>(value)); }

std::string FormatValue(std::string_view raw) {
  std::string value;
  value.reserve(raw.size() + 2);
  for (const char c : raw) {
    if (c != '\r' && c != '\n') value += c;
  }
  if (value.find(' ') != std::string::npos) return '"' + value + '"';
  return value;
}

void AppendPairs(std::string& line, const std::vector<uint32_t>& keys,
                 const std::vector<std::string>& values) {
  const size_t count = std::min(keys.size(), values.size());
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) line += ' ';
    line += Signed(keys[i]);
    line += '=';
    line += FormatValue(values[i]);
  }
}

void SetValue(ThreadLogObject& object, uint32_t key, std::string_view text) {
  object.eventValues.resize(object.eventKeys.size());
  for (size_t i = 0; i < object.eventKeys.size(); ++i) {
    if (object.eventKeys[i] == key) {
      object.eventValues[i] = std::string(text);
      return;
    }
  }
  object.eventKeys.push_back(key);
  object.eventValues.emplace_back(text);
}

}  // namespace

std::string FormatLogEvent(const ThreadLogObject& object, uint32_t code) {
  std::string line = std::to_string(object.sourceId) + ' ' + Signed(code) + ' ';
  AppendPairs(line, object.fixedKeys, object.fixedValues);
  line += ' ';
  AppendPairs(line, object.eventKeys, object.eventValues);
  return line;
}

void SetLogValue(uint32_t key, std::string_view text) {
  if (ThreadLogObject* object = CallingThreadLog()) SetValue(*object, key, text);
}

void SetLogNumber(uint32_t key, int32_t number) { SetLogValue(key, std::to_string(number)); }

void WriteLogEvent(uint32_t code) {
  ThreadLogObject* object = CallingThreadLog();
  if (object == nullptr) return;
  SetValue(*object, kKeyValueOne, Signed(object->valueOne));
  WriteLogLine(*object, FormatLogEvent(*object, code));
  object->eventKeys.clear();
  object->eventValues.clear();
}

void LogLocation(uint32_t location) {
  SetLogNumber(kKeyLocation, static_cast<int32_t>(location));
  WriteLogEvent(kEventCaughtError);
}

void LogException(uint32_t location, const std::exception& error) {
  SetLogNumber(kKeyLocation, static_cast<int32_t>(location));
  SetLogValue(kKeyMessage, std::string_view(error.what()).substr(0, kMaxExceptionMessage));
  WriteLogEvent(kEventCaughtError);
}

}  // namespace quorvel
