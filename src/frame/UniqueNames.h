// Unique names: directory + prefix + decimal n + "." + extension for the
// smallest n from 0 for which no file of that name exists (a directory of
// that name does not count). Mail files, composed messages and the working
// copies of exchange files are all named this way.
#pragma once

#include <string>

namespace quorvel {

// An empty directory means the system's temporary directory; a given one ends
// with the path separator.
std::string UniqueTempName(const std::string& extension = "tmp", const std::string& directory = "",
                           const std::string& prefix = "~AT");

}  // namespace quorvel
