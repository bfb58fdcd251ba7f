#include "text/LineSafety.h"

namespace quorvel {

namespace {
bool BreaksALine(char c) { return c == '\r' || c == '\n' || c == '\0'; }
}  // namespace

std::string OneLineText(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (BreaksALine(c)) c = ' ';
  }
  return line;
}

bool IsCommandSafeAddress(std::string_view address) {
  for (const char c : address) {
    if (BreaksALine(c) || c == '<' || c == '>') return false;
  }
  return true;
}

}  // namespace quorvel
