// The library's working directory: where it keeps the copies it works on
// (unpacked items, items being written, composed messages, received parts).
// Each process has one of its own inside the system's temporary directory,
// "quorvel-run-" pid "-" n, that only the user may enter; it holds the lock
// file ".owner" open exclusively for as long as the process uses it. So no
// other process ever meets a name inside it, and what a process killed
// mid-write left there is still private: the next process that makes its
// own working directory in the same temporary directory takes the lock of
// each such directory whose owner is gone and removes the directory with
// everything in it. A live owner's directory is never touched.
#pragma once

#include <string>

namespace quorvel {

// The calling process's working directory in the current temporary
// directory, made (after removing those of ended processes) when it is
// first needed there; ends with the path separator. Empty when none can be
// made.
std::string WorkingDirectory();

// Removes the process's working directories with what is left in them
// (at unload; a process forked from the owner leaves them alone).
void ReleaseWorkingDirectories();

}  // namespace quorvel
