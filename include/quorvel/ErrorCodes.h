// The error codes that MailsGetLastErrorCode answers, what each means, and
// the fixed English message of each. The library writes these messages into
// its log files and nowhere else; this header is their only table, shared by
// the library and its hosts. Messages are Windows-1252 bytes: code 8's holds
// the single byte 0xE9 ("é").
#pragma once

#include <cstdint>

namespace quorvel {

enum ErrorCode : uint32_t {
  kErrorNone = 0,                 // success; most exports reset the code on entry
  kErrorProblemWithFile = 1,      // an attachment's name is empty or the file is missing
  kErrorMemoryAllocation = 2,     // (never set by this library)
  kErrorNoSmtpParameters = 3,     // (never set by this library)
  kErrorNoSmtpSettingsFound = 4,  // no SMTP parameters given and none found on the machine
  kErrorSmtpConnect = 5,          // connecting to or greeting the SMTP server failed
  kErrorPopConnect = 6,           // the POP3 transport could not reach or use its server
  kErrorSendingFile = 7,          // the SMTP server refused the mail transaction
  kErrorMimeCreation = 8,         // composing the MIME message file failed
  kErrorMapiSend = 9,             // MAPI did not send
  kErrorMapiInitialize = 10,      // MAPI could not be loaded or logged on
  kErrorNotesSend = 11,           // the Notes client did not send
  kErrorMessageNumbers = 12,      // the POP3 server did not list its messages
  kErrorStopped = 13,             // the host's stop request ended the operation
  kErrorNoProtocol = 0x8001,      // 32769: no transport chosen (MailsUseSMTP_POP, ...)
  kErrorNoDirectory = 0x8002,     // 32770: a directory given does not exist or cannot be made
  kErrorInitialisation = 0x8003,  // 32771: the SMTP or POP3 parameters could not be stored
  kErrorDuringSending = 0x8004,   // 32772: (never set by this library)
  kErrorNoFileFound = 0x8005,     // 32773: the mail-data file to send does not exist
  kErrorMailDataFile = 0x8006,    // 32774: the mail-data file cannot be read as one
};

// The message of a code; "Unknown dllErrorCode" for a code without one of its
// own (4, 13 and every code not listed above), "" for 0.
inline const char* ErrorMessage(uint32_t code) {
  switch (code) {
    case kErrorNone: return "";
    case kErrorProblemWithFile: return "Problem with file";
    case kErrorMemoryAllocation: return "Memory allocation error";
    case kErrorNoSmtpParameters: return "No SMTP Parameters";
    case kErrorSmtpConnect: return "Can not connect to SMTP server";
    case kErrorPopConnect: return "Can not connect to POP server";
    case kErrorSendingFile: return "Sending file not possible";
    case kErrorMimeCreation: return "MIME cr\xE9" "ation failed";
    case kErrorMapiSend: return "Can not send by MAPI";
    case kErrorMapiInitialize: return "Can not initialize MAPI";
    case kErrorNotesSend: return "Can not send by NOTES";
    case kErrorMessageNumbers: return "Can not get message numbers";
    case kErrorNoProtocol: return "No protocol chosen";
    case kErrorNoDirectory: return "No Directory existing";
    case kErrorInitialisation: return "Error during Initialisation";
    case kErrorDuringSending: return "Error during Sending";
    case kErrorNoFileFound: return "No file found";
    case kErrorMailDataFile: return "Cant read .mes file";
    default: return "Unknown dllErrorCode";
  }
}

}  // namespace quorvel
