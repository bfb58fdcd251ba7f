// Log events: an operation stores numbered values in its thread's log object,
// then writes one event line with a numeric code, after which the values are
// cleared. Nothing happens before the host has given its log table.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "quorvel/ThreadLog.h"

namespace quorvel {

// Event codes.
inline constexpr uint32_t kEventAttachmentNotCopied = 100011;
inline constexpr uint32_t kEventSendFailed = 100013;
inline constexpr uint32_t kEventCaughtError = 200004;
// Transport security (an extension): a TLS connection that failed, and one
// whose certificate was accepted without verification.
inline constexpr uint32_t kEventTlsFailed = 100030;
inline constexpr uint32_t kEventTlsUnverified = 100031;
// A received text in a charset that no converter of the system knows (key 3:
// its label); the text was read as UTF-8 where valid, else as Windows-1252.
inline constexpr uint32_t kEventUnknownCharset = 100032;
// Mail-data files: a file not read or an attachment left out when read
// (key 8 the file, key 3 what and why), and an attachment name that had to
// change to be stored (key 8 the name given, key 3 the name stored).
inline constexpr uint32_t kEventMailFileProblem = 100060;
inline constexpr uint32_t kEventAttachmentRenamed = 100061;
// A server's explanation of why it refused an OAuth 2 token.
inline constexpr uint32_t kEventTokenRefused = 100033;

// Keys of event values.
inline constexpr uint32_t kKeyValueOne = 1;
inline constexpr uint32_t kKeyLocation = 2;
inline constexpr uint32_t kKeyMessage = 3;
inline constexpr uint32_t kKeySourcePath = 8;

// Replaces the value stored under `key` for the next event, or appends it.
void SetLogValue(uint32_t key, std::string_view text);
void SetLogNumber(uint32_t key, int32_t number);
// Writes the event line with key 1 = the object's valueOne, then clears the
// event values.
void WriteLogEvent(uint32_t code);
// An error caught at a numbered place of the code.
void LogLocation(uint32_t location);
// Like LogLocation, with the exception's message (at most 255 characters).
void LogException(uint32_t location, const std::exception& error);

// The text of an event line without the time: source id, code, the fixed
// values, one blank, the event values. A value loses its CR and LF and is
// quoted when it then contains a blank.
std::string FormatLogEvent(const ThreadLogObject& object, uint32_t code);

}  // namespace quorvel
