// The reader of received messages on arbitrary message text: it must neither
// crash nor hang, and every part file it lists lies in its own directory.
#include <string>

#include "FuzzScratch.h"
#include "message/MessageParser.h"
#include "platform/FileSystem.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string directory = [] {
    const std::string path = fuzz::ScratchPath("mime_reader") + "/";
    platform::MakeDirectory(path);
    return path;
  }();
  MailMessage message(nullptr, nullptr, nullptr);
  ParseMessage(message, std::string_view(reinterpret_cast<const char*>(data), size),
               directory.c_str(), true);
  for (const std::string& file : message.attachmentSources) {
    fuzz::Require(file.compare(0, directory.size(), directory) == 0, "part files stay inside");
    platform::RemoveFile(file);
  }
  for (const std::string& name : message.attachmentNames) {
    const bool ownPath = name.compare(0, directory.size(), directory) == 0;
    fuzz::Require(ownPath || name.find_first_of("/\\") == std::string::npos, "names carry no directory");
    fuzz::Require(ownPath || (name != "." && name != ".."), "no name is . or ..");
  }
  return 0;
}
