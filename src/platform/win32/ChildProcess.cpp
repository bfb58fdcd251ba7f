// CreateProcessA with two pipes; only the child's ends are inheritable, and
// only for the moment of its creation. The header keeps handles in ints:
// Windows handles have 32 significant bits, also in a 64-bit process.
#include "platform/ChildProcess.h"

#include <windows.h>

#include <mutex>
#include <utility>

namespace quorvel::platform {

namespace {

int ToInt(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }
HANDLE ToHandle(int value) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value)); }

// Exit codes from 0xC0000000 are the system's: the process was killed
// (STATUS_CONTROL_C_EXIT, which Kill uses) or crashed, as a signal ends a
// POSIX process.
constexpr DWORD kKilled = 0xC000013Au;
constexpr DWORD kFirstSystemStatus = 0xC0000000u;

// One argument as the C runtime of the child splits its command line: quoted
// when it is empty or holds blanks or quotes, backslashes doubled before a
// quote.
void AppendQuoted(std::string& line, const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    line += argument;
    return;
  }
  line += '"';
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, '\\');
  line += '"';
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const std::string& program,
                                                const std::vector<std::string>& arguments) {
  // Another Start must not hand our inheritable ends to its own child.
  static std::mutex starting;
  std::lock_guard hold(starting);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE childInput = nullptr, toChild = nullptr, fromChild = nullptr, childOutput = nullptr;
  if (!::CreatePipe(&childInput, &toChild, &inherit, 0)) return std::nullopt;
  if (!::CreatePipe(&fromChild, &childOutput, &inherit, 0)) {
    ::CloseHandle(childInput);
    ::CloseHandle(toChild);
    return std::nullopt;
  }
  ::SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
  std::string line;
  AppendQuoted(line, program);
  for (const std::string& argument : arguments) {
    line += ' ';
    AppendQuoted(line, argument);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = childOutput;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION created{};
  const BOOL started = ::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &created);
  ::CloseHandle(childInput);
  ::CloseHandle(childOutput);
  if (!started) {
    ::CloseHandle(toChild);
    ::CloseHandle(fromChild);
    return std::nullopt;
  }
  ::CloseHandle(created.hThread);
  return ChildProcess(ToInt(created.hProcess), ToInt(toChild), ToInt(fromChild));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, -1)),
      input_(std::exchange(other.input_, -1)),
      output_(std::exchange(other.output_, -1)),
      pending_(std::move(other.pending_)) {}

ChildProcess::~ChildProcess() {
  if (process_ != -1) {
    Kill();
    Wait();
  }
  CloseInput();
  if (output_ != -1) ::CloseHandle(ToHandle(output_));
}

std::optional<std::string> ChildProcess::ReadLine() {
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    char buffer[256];
    DWORD got = 0;
    if (output_ == -1 || !::ReadFile(ToHandle(output_), buffer, sizeof buffer, &got, nullptr) ||
        got == 0) {
      return std::nullopt;
    }
    pending_.append(buffer, got);
  }
}

void ChildProcess::CloseInput() {
  if (input_ != -1) ::CloseHandle(ToHandle(input_));
  input_ = -1;
}

void ChildProcess::Kill() {
  if (process_ != -1) ::TerminateProcess(ToHandle(process_), kKilled);
}

int ChildProcess::Wait() {
  if (process_ == -1) return -1;
  HANDLE process = ToHandle(process_);
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool known = ::GetExitCodeProcess(process, &code) != 0;
  ::CloseHandle(process);
  process_ = -1;
  return known && code < kFirstSystemStatus ? static_cast<int>(code) : -1;
}

std::optional<int> RunInPlace(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line;
  AppendQuoted(line, program);
  for (const std::string& argument : arguments) {
    line += ' ';
    AppendQuoted(line, argument);
  }
  // The child inherits the standard handles as they are; without an
  // application name the system finds `program` with ".exe" added.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &created)) {
    return std::nullopt;
  }
  ::CloseHandle(created.hThread);
  ::WaitForSingleObject(created.hProcess, INFINITE);
  DWORD code = 0;
  const BOOL known = ::GetExitCodeProcess(created.hProcess, &code);
  ::CloseHandle(created.hProcess);
  if (!known || code >= kFirstSystemStatus) return -1;
  return static_cast<int>(code);
}

}  // namespace quorvel::platform
