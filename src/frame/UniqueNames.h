// Unique names: directory + prefix + decimal n + "." + extension for the
// smallest n from 0 whose name is free. The name is taken, not guessed: an
// empty file is created there exclusively, moving to the next n while a file
// or directory of that name exists, so that two threads or two processes
// never get the same name. Mail files, composed messages, mailbox items and
// the working copies of exchange files are all named this way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/File.h"

namespace quorvel {

// Creates the empty file and answers its path; the caller overwrites or
// removes it. An empty directory means the process's private working
// directory (see WorkingDirectory); a given one ends with the path separator. Empty when no name can be taken
// (the directory is missing or cannot be written).
std::string UniqueTempName(const std::string& extension = "tmp", const std::string& directory = "",
                           const std::string& prefix = "~AT");

// The same name taken by moving the file `from` there (an existing file is
// never replaced): answers the new path, or empty with `from` left where it
// was. The numbers below `known` are taken already (a caller that moves one
// file after another into a directory learns that from its last move): the
// search starts there, and `known` ends just past the number taken. Names
// freed meanwhile by others are passed over, as they would be had they
// been freed a moment after the search.
std::string UniqueNameMovedFrom(const std::string& from, uint32_t& known,
                                const std::string& extension, const std::string& directory,
                                const std::string& prefix = "~AT");

// UniqueTempName for a caller that alone makes such names in a directory (a
// mailbox, which holds its directory's index): the numbers below `known` are
// taken already, the search starts there, and `known` ends just past the
// number taken, so that the next name is found with one creation. With
// nothing known (0), a directory that holds many such names is listed once
// rather than tried name by name.
std::string UniqueNameFrom(uint32_t& known, const std::string& extension,
                           const std::string& directory, const std::string& prefix = "~AT");

// UniqueNameFrom that keeps what it created: the file is made and opened
// for writing, shared with no one, in one step, so that a writer that fills
// it need not open it again. Nothing when no name can be taken.
std::optional<platform::File> CreateUniqueFile(uint32_t& known, const std::string& extension,
                                               const std::string& directory,
                                               const std::string& prefix = "~AT");

}  // namespace quorvel
