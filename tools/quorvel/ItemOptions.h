// What quorvel write and quorvel reply share: their options, the text file
// turned into the library's text, and a context with the user's mailbox
// open, all through the exported functions as a host uses them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "quorvel/CodedText.h"
#include "quorvel/quorvel.h"
#include "quorvel/WideString.h"

namespace quorvel::tool {

struct ItemOptions {
  std::vector<std::string> positional;  // BASE USER [INDEX]
  std::string route;
  std::string textFile;
  std::vector<std::string> attachments;
  uint32_t number = 0;
  std::optional<uint32_t> answer;  // quorvel write --answer INDEX
};

// Reads `positionalCount` leading arguments and the options; --answer only
// when `answerAllowed`. False on anything else, or without --route.
bool ParseItemOptions(const Arguments& arguments, size_t positionalCount, bool answerAllowed,
                      ItemOptions& options);
bool ParseIndex(const std::string& text, uint32_t& index);

struct ItemInput {
  ItemOptions options;
  WideString text;     // the --text file's UTF-8 text
  CodedText writer;    // USER, the name the item carries
};

// The calling thread's context with a mailbox open, for one command.
class OpenMailbox {
 public:
  OpenMailbox(const std::string& base, const std::string& user) {
    open_ = MTAddNew(nullptr) != 0 && TessalyOpenMailBox(base.c_str(), user.c_str());
  }
  OpenMailbox(const OpenMailbox&) = delete;
  OpenMailbox& operator=(const OpenMailbox&) = delete;
  ~OpenMailbox() { MTRemove(); }
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
};

// Runs quorvel write or reply: parses the arguments, reads the text, opens
// the mailbox BASE/USER in a context of the calling thread and lets `file`
// file the item. Prints what happened; answers the exit status.
int RunItemCommand(const char* command, const char* usage, const Arguments& arguments,
                   size_t positionalCount, bool answerAllowed,
                   const std::function<bool(const ItemInput&)>& file);

}  // namespace quorvel::tool
