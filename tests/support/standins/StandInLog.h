// What every stand-in library shares: a log of the calls it received with their arguments, and
// scripted results for chosen calls, reached by tests through the exported functions below.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace standin {

inline std::string& Log() {
  static std::string log;
  return log;
}

// (call name, n-th call) -> result; n = 0 scripts every call of that name.
inline std::map<std::pair<std::string, int>, int>& Script() {
  static std::map<std::pair<std::string, int>, int> script;
  return script;
}

inline std::map<std::string, int>& CallCounts() {
  static std::map<std::string, int> counts;
  return counts;
}

// Logs the call and answers its scripted result (0 when none).
inline int Record(const std::string& name, const std::string& arguments) {
  Log() += name + "(" + arguments + ")\n";
  const int n = ++CallCounts()[name];
  for (const int which : {n, 0}) {
    const auto found = Script().find({name, which});
    if (found != Script().end()) return found->second;
  }
  return 0;
}

// A call's arguments as the log shows them, apart by ", ": texts quoted (or
// null), numbers in decimal, a std::string as it is.
inline std::string Shown(const char* text) {
  return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
}
inline std::string Shown(const std::string& text) { return text; }
inline std::string Shown(uint64_t number) { return std::to_string(number); }
template <typename... Values>
std::string Arguments(const Values&... values) {
  std::string arguments;
  [[maybe_unused]] int count = 0;
  ((arguments += (count++ == 0 ? "" : ", ") + Shown(values)), ...);
  return arguments;
}

}  // namespace standin

extern "C" {
__attribute__((visibility("default"))) const char* StandInLog() {
  return standin::Log().c_str();
}
__attribute__((visibility("default"))) void StandInReset() {
  standin::Log().clear();
  standin::Script().clear();
  standin::CallCounts().clear();
}
// The n-th call of `name` (every call for n = 0) answers `result`.
__attribute__((visibility("default"))) void StandInScript(const char* name, int n,
                                                                 int result) {
  standin::Script()[{name, n}] = result;
}
}
