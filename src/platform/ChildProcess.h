// A child process with pipes to its standard input and output, for the tests
// that need a second process (a second opener of a file, a writer killed at a
// chosen instant) and for tools that drive other programs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel::platform {

class ChildProcess {
 public:
  // Starts `program` with `arguments`; nothing when it cannot be started.
  static std::optional<ChildProcess> Start(const std::string& program,
                                           const std::vector<std::string>& arguments);
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills a child that still runs and waits for it.
  ~ChildProcess();

  // The next line the child writes (without its line feed); nothing at the
  // end of its output. A child whose output is not read stops in its write
  // once the pipe is full (64 KiB on Linux, 4 KiB under Wine).
  std::optional<std::string> ReadLine();
  // The child reads the end of its input.
  void CloseInput();
  // Ends the child at once, without letting it clean up.
  void Kill();
  // Waits for the child; answers its exit code, or -1 when a signal ended it.
  int Wait();

 private:
  ChildProcess(int process, int input, int output)
      : process_(process), input_(input), output_(output) {}

  int process_ = -1;  // -1 once waited for
  int input_ = -1;
  int output_ = -1;
  std::string pending_;
};

// Runs `program` with `arguments` on this process's standard input, output
// and error, and answers its exit code (-1 when a signal or the system ended
// it). On POSIX the program replaces this process and the call returns only
// when it cannot be started; nothing when it cannot be started.
std::optional<int> RunInPlace(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace quorvel::platform
