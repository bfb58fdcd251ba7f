// Independent programs that tests use as references: Debian's python3 (its
// base64 module and email package) run on files the test wrote.
#pragma once

#include <cstdlib>
#include <string>

#include "TempDirectory.h"

namespace quorvel::testing {

#ifndef QUORVEL_PYTHON3
#define QUORVEL_PYTHON3 "python3"
#endif

// Runs a python program (given as text) with the arguments; true when it exits with 0.
inline bool RunPython(const TempDirectory& scratch, const std::string& program,
                      const std::string& arguments) {
  const std::string script = scratch / "reference.py";
  WriteFile(script, program);
  return std::system((std::string(QUORVEL_PYTHON3) + " " + script + " " + arguments).c_str()) == 0;
}

}  // namespace quorvel::testing
