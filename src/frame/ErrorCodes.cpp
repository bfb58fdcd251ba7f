// The message table. Code 8's text holds the single byte 0xE9 ("é" in
// Windows-1252), not a UTF-8 sequence.
#include "frame/ErrorCodes.h"

#include "frame/ContextTable.h"

namespace quorvel {

const char* ErrorMessage(uint32_t code) {
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

std::string ErrorMessageFor() {
  const ThreadContext* context = CallingContext();
  return context == nullptr ? std::string() : std::string(ErrorMessage(context->lastError));
}

}  // namespace quorvel
