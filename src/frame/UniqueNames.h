// Unique names: directory + prefix + decimal n + "." + extension for the
// smallest n from 0 whose name is free. The name is taken, not guessed: an
// empty file is created there exclusively, moving to the next n while a file
// or directory of that name exists, so that two threads or two processes
// never get the same name. Mail files, composed messages, mailbox items and
// the working copies of exchange files are all named this way.
#pragma once

#include <string>

namespace quorvel {

// Creates the empty file and answers its path; the caller overwrites or
// removes it. An empty directory means the system's temporary directory; a
// given one ends with the path separator. Empty when no name can be taken
// (the directory is missing or cannot be written).
std::string UniqueTempName(const std::string& extension = "tmp", const std::string& directory = "",
                           const std::string& prefix = "~AT");

}  // namespace quorvel
