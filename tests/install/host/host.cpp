// A host of the installed library: one context, the SMTP and POP settings
// with a sender name in UTF-8 (code page 65001), and the error code read back.
// Usage: host MIME_DIRECTORY (it must exist).
#include <quorvel/ErrorCodes.h>
#include <quorvel/quorvel.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::printf("Quorvel %s\n", QUORVEL_VERSION_STRING);
  if (MTAddNew(nullptr) == 0) return 1;  // this thread's context
  const CodedText sender(65001, u"Pupil One");  // POSIX texts are UTF-8
  const bool stored = MailsUseSMTP_POP("pop.example.test", 110, "pupil", "secret",
                                       "smtp.example.test", 25, &sender, argv[1], 0);
  const int32_t code = MailsGetLastErrorCode();
  std::printf("settings stored: %d, error %d (%s)\n", stored, code, quorvel::ErrorMessage(code));
  MTRemove();  // ends the context
  return stored ? 0 : 1;
}
