// Setters reset the last error on entry; the only error they set is
// "No Directory existing".
#include "frame/ContextSettings.h"

#include <string>

#include "frame/Directories.h"
#include "frame/ErrorCodes.h"
#include "platform/FileSystem.h"

namespace quorvel {

namespace {

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// The common path of the three directory setters.
bool SetDirectory(ThreadContext* context, std::string ThreadContext::*field,
                  const char* directory, bool nullClears) {
  if (context == nullptr) return true;
  context->lastError = kErrorNone;
  if (directory == nullptr && nullClears) {
    (context->*field).clear();
    return true;
  }
  const std::optional<std::string> normalised = ExistingOrCreatedDirectory(directory);
  if (!normalised) {
    context->lastError = kErrorNoDirectory;
    return false;
  }
  context->*field = *normalised;
  return true;
}

}  // namespace

bool UseProtocol(ThreadContext* context, MailProtocol protocol) {
  if (context != nullptr) {
    context->lastError = kErrorNone;
    context->protocol = protocol;
  }
  return true;
}

bool UseSmtpPop(ThreadContext* context, const SmtpPopParameters& parameters) {
  if (context == nullptr) return true;
  context->lastError = kErrorNone;
  context->protocol = kProtocolSmtpPop;
  context->popHost = Text(parameters.popHost);
  context->popPort = parameters.popPort;
  context->popUser = Text(parameters.popUser);
  context->popPassword = Text(parameters.popPassword);
  context->smtpHost = Text(parameters.smtpHost);
  context->smtpPort = parameters.smtpPort;
  context->senderName = parameters.senderName != nullptr ? *parameters.senderName : CodedText();
  if (parameters.mimeDirectory != nullptr) {
    context->mimeDirectory = NormaliseDirectory(parameters.mimeDirectory);
    if (!platform::IsExistingDirectory(context->mimeDirectory)) {
      context->lastError = kErrorNoDirectory;
      return false;
    }
  }
  context->mimeFlag = parameters.flag;
  return true;
}

bool SetReceptionDirectory(ThreadContext* context, const char* directory) {
  return SetDirectory(context, &ThreadContext::receptionDirectory, directory, false);
}

bool SetOutDirectory(ThreadContext* context, const char* directory) {
  return SetDirectory(context, &ThreadContext::outDirectory, directory, true);
}

bool SetSentDirectory(ThreadContext* context, const char* directory) {
  return SetDirectory(context, &ThreadContext::sentDirectory, directory, true);
}

void SetClientWindow(ThreadContext* context, WindowHandle window) {
  if (context == nullptr) return;
  context->lastError = kErrorNone;
  context->clientWindow = window;
}

void SetProgressCallback(ThreadContext* context, ProgressCallback callback) {
  if (context == nullptr) return;
  context->lastError = kErrorNone;
  context->progressCallback = callback;
}

}  // namespace quorvel
