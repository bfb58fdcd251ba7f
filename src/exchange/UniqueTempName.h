// Unique names: directory + prefix + decimal n + "." + extension for the
// smallest n from 0 for which no file of that name exists (a directory of
// that name does not count).
#pragma once

#include <string>

namespace quorvel::exchange {

// An empty directory means the system's temporary directory.
std::string UniqueTempName(const std::string& extension = "tmp", const std::string& directory = "",
                           const std::string& prefix = "~AT");

}  // namespace quorvel::exchange
