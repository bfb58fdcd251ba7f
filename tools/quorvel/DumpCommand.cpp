// quorvel dump FILE: the command's options and help, for both programs; it
// runs in quorvel-core (quorvel-core/DumpCommand.cpp).
#include "Commands.h"

namespace quorvel::tool {

const CommandDefinition kDumpCommand = {
    "dump", "FILE", 1, 1,
    "print an exchange file, a mailbox index or a \".mes\" mail-data file",
    {},
    RunDump,
    nullptr,
    "An exchange file (\".qv6\", packed or not) shows its packing, length\n"
    "trailer, header, CRC and the tree of values; a mailbox index\n"
    "(\"Mailbox.inv\") its head, every entry and the outbox queue; a \".mes\"\n"
    "file its record. A damaged or unreadable file exits 1, and standard error\n"
    "says what is wrong and at which offset.\n",
};

}  // namespace quorvel::tool
