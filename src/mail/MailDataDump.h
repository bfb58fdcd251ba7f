// A person's view of a mail-data file: every field as read, the message line
// by line, and for each attachment the content file found beside it.
#pragma once

#include <ostream>
#include <string>

namespace quorvel {

// Writes the dump of the ".mes" file at `path`; false when it cannot be read.
bool DumpMailDataFile(const std::string& path, std::ostream& out);

}  // namespace quorvel
