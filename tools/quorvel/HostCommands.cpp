// The definitions of the commands that only quorvel runs (they read their own
// arguments); in a file of their own so that quorvel-core, which lists
// Commands.h too, never refers to them.
#include "Commands.h"

namespace quorvel::tool {

const CommandDefinition kMailboxCommand = {
    "mailbox", "BASE USER [show INDEX | extract INDEX DIR | remove INDEX[,INDEX...]]", 2, 5,
    "list a mailbox as a tree of threads; show one item, extract its files, remove items", {},
    nullptr, RunMailbox,
    "Opens the mailbox BASE/USER/mailbox/ through the exported functions, as a\n"
    "host does (a damaged index is recovered on the way; it fails while another\n"
    "program holds the mailbox), and lists it as a tree of threads: position,\n"
    "id, kind, attributes, date, correspondent and file name, after a line with\n"
    "the number of items and of those not yet sent.\n"
    "  show INDEX          the item's entry, parent, kind, text without markup,\n"
    "                      and its files with their sizes (marks it read)\n"
    "  extract INDEX DIR   write its files into DIR under their names made safe\n"
    "                      (never replacing a file: \"name (2).ext\")\n"
    "  remove INDEX[,...]  remove the items with their replies\n"};

const CommandDefinition kWriteCommand = {
    "write", kWriteUsage, 2, SIZE_MAX, "write a pupil mail into a mailbox (a new thread or an answer)",
    {}, nullptr, RunWrite,
    "Writes a pupil mail into BASE/USER/mailbox/ through the exported functions:\n"
    "a new thread, or with --answer the answer to the tutor reply at INDEX.\n"
    "--route is the item's outbound route, for example \"3|DIR\" (a copy into\n"
    "DIR) or \"1|TO|SMTP HOST|PORT|FROM|65001|NAME\" (by SMTP); --text a UTF-8\n"
    "text file; --attach a file to attach (may be repeated); --number the\n"
    "mail's number. The item waits in the outbox until an exchange run.\n"};

const CommandDefinition kReplyCommand = {
    "reply", kReplyUsage, 3, SIZE_MAX, "write a tutor reply to the pupil mail at INDEX of a mailbox",
    {}, nullptr, RunReply,
    "Writes a tutor's reply to the pupil mail at INDEX of BASE/USER/mailbox/ and\n"
    "files it under that mail, through the exported functions; the options are\n"
    "those of quorvel write.\n"};

const CommandDefinition kReceiveCommand = {
    "receive", kReceiveUsage, 0, SIZE_MAX, "fetch every waiting message by POP3 into a directory",
    {}, nullptr, RunReceive,
    "Fetches every waiting message through the library's receive export into DIR\n"
    "(a mail-data file and attachment files each) and prints one line per mail,\n"
    "or \"no mail waiting\". --tls starttls uses STLS (required), implicit\n"
    "POP3S (port 995); --ca-file and --insecure as for send. Progress is drawn\n"
    "on standard error when it is a terminal; --quiet prints only errors.\n"
    "--timeout MS sets the time-out of each step (default 90000; during a\n"
    "message's data each 64 KiB must follow the previous 64 KiB within it) and\n"
    "--max-size BYTES the largest message taken (default 100 MiB; a larger one\n"
    "stays on the server). A failed receive exits with the status of its first\n"
    "failure; a message that could not be had (the server closed or stopped\n"
    "sending in its middle, or it is too large) makes the command exit with the\n"
    "status of that failure and name the message and the reason.\n"};

}  // namespace quorvel::tool
