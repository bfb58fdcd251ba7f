// The error codes of the mail layer and their fixed English messages
// (Windows-1252 bytes). The messages appear only in log files.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

enum ErrorCode : uint32_t {
  kErrorNone = 0,
  kErrorProblemWithFile = 1,
  kErrorMemoryAllocation = 2,
  kErrorNoSmtpParameters = 3,
  kErrorNoSmtpSettingsFound = 4,
  kErrorSmtpConnect = 5,
  kErrorPopConnect = 6,
  kErrorSendingFile = 7,
  kErrorMimeCreation = 8,
  kErrorMapiSend = 9,
  kErrorMapiInitialize = 10,
  kErrorNotesSend = 11,
  kErrorMessageNumbers = 12,
  kErrorStopped = 13,
  kErrorNoProtocol = 0x8001,
  kErrorNoDirectory = 0x8002,
  kErrorInitialisation = 0x8003,
  kErrorDuringSending = 0x8004,
  kErrorNoFileFound = 0x8005,
  kErrorMailDataFile = 0x8006,
};

// The message of a code; "Unknown dllErrorCode" for codes without one.
const char* ErrorMessage(uint32_t code);

// The message of the calling thread's last error; empty without a context.
std::string ErrorMessageFor();

}  // namespace quorvel
