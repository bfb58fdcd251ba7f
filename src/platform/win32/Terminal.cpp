// A console answers GetConsoleMode; a pipe or a file does not.
#include "platform/Terminal.h"

#include <windows.h>

namespace quorvel::platform {

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace quorvel::platform
