#!/usr/bin/env python3
"""The quorvel tool's command-line conventions, one table: each row runs the
tool and checks its exit code and what reached standard output and standard
error. The SMTP and POP3 rows talk to small servers run here on loopback.

Usage: command_lines_test.py QUORVEL_TOOL VERSION
"""
import bz2
import os
import pty
import socket
import struct
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

TOOL, VERSION = sys.argv[1], sys.argv[2]
# The program beside the tool that runs its commands on the library's core;
# a row whose first argument is its name runs it directly.
CORE = os.path.join(os.path.dirname(TOOL), "quorvel-core")


class SmtpServer:
    """Accepts connections on loopback until stopped; `greeting` None never
    answers. Records every RCPT address and every message's data; with
    `pop`, it is instead an empty POP3 maildrop that accepts every login."""

    def __init__(self, greeting=b"220 ready\r\n", pop=False):
        self.greeting = greeting
        self.pop = pop
        self.recipients = []
        self.messages = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            with connection, connection.makefile("rb") as lines:
                if self.greeting is None:
                    lines.read()  # until the client gives up and closes
                    continue
                connection.sendall(self.greeting)
                if not self.greeting.startswith(b"2" if not self.pop else b"+OK"):
                    continue
                if self.pop:
                    self.serve_empty_maildrop(connection, lines)
                    continue
                for line in lines:
                    verb = line[:4].upper()
                    if verb == b"RCPT":
                        address = line.decode()
                        self.recipients.append(address[address.index("<") + 1:address.index(">")])
                    if verb == b"DATA":
                        connection.sendall(b"354 go on\r\n")
                        data = b""
                        while not data.endswith(b"\r\n.\r\n"):
                            data += lines.readline()
                        self.messages.append(data)
                        connection.sendall(b"250 queued\r\n")
                    elif verb == b"QUIT":
                        connection.sendall(b"221 bye\r\n")
                        break
                    else:
                        connection.sendall(b"250 ok\r\n")

    def serve_empty_maildrop(self, connection, lines):
        """Serves the messages in `self.maildrop` (none by default); each is
        sent again at each connection."""
        drop = getattr(self, "maildrop", [])
        for line in lines:
            verb = line[:4].upper()
            listing = b"".join(b"%d %d\r\n" % (i + 1, len(m)) for i, m in enumerate(drop))
            answer = {b"STAT": b"+OK %d %d\r\n" % (len(drop), sum(map(len, drop))),
                      b"LIST": b"+OK\r\n" + listing + b".\r\n",
                      b"UIDL": b"+OK\r\n.\r\n"}.get(verb, b"+OK\r\n")
            if verb == b"RETR":
                answer = b"+OK\r\n" + drop[int(line[5:]) - 1] + b".\r\n"
            connection.sendall(answer)
            if verb == b"QUIT":
                break

    def stop(self):
        self.listener.close()


def closed_port():
    probe = socket.create_server(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def run_tool(arguments, stdin, terminal):
    """Runs the tool; with `terminal` its standard error is a pseudo-terminal."""
    command = [CORE] + arguments[1:] if arguments[:1] == ["quorvel-core"] else [TOOL] + arguments
    if not terminal:
        run = subprocess.run(command, input=stdin or b"", capture_output=True,
                             timeout=60)
        return run.returncode, run.stdout.decode(), run.stderr.decode()
    controller, side = pty.openpty()
    run = subprocess.run(command, input=stdin or b"", stdout=subprocess.PIPE,
                         stderr=side, timeout=60)
    os.close(side)
    seen = b""
    while True:
        try:
            chunk = os.read(controller, 4096)
        except OSError:  # the terminal has no writer left
            break
        if not chunk:
            break
        seen += chunk
    os.close(controller)
    return run.returncode, run.stdout.decode(), seen.decode()


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        (work / "garbage.qv6").write_bytes(b"just some text, not an exchange file")
        # A packed file whose length trailer names 5 bytes: Python's bz2
        # writes the stream of a 43-byte record (its head: the magic "QVS",
        # the length at offset 14), the trailer is the u32 after it.
        stream = bz2.compress(b"QVS\0" + bytes(10) + struct.pack("<I", 43) + bytes(25), 5)
        (work / "trailer.qv6").write_bytes(stream + struct.pack("<I", 5))
        (work / "body.txt").write_bytes(b"from a file\r\n")
        good = SmtpServer()
        refusing = SmtpServer(b"554 no service here\r\n")
        silent = SmtpServer(None)
        closed = closed_port()
        maildrop = SmtpServer(b"+OK ready\r\n", pop=True)
        # A subject that decodes to a line end and a key, and a C1 control
        # (CSI) that a terminal would take for an escape sequence.
        hostile = SmtpServer(b"+OK ready\r\n", pop=True)
        hostile.maildrop = [b"From: p@example.test\r\nTo: t@example.test\r\nSubject: "
                            b"=?UTF-8?Q?homework=0D=0A#Attachments_:_/etc/passwd=C2=9B2J?=\r\n\r\nhi\r\n"]
        (work / "quiet.mes").write_bytes(b"#To : tutor@example.test\r\n#Message : by --mes\r\n")
        with open(work / "huge.mes", "wb") as huge:  # sparse: a value of 1 GiB
            huge.write(b"#To : tutor@example.test\r\n#Message : ")
            huge.truncate(1 << 30)
        refusing_pop = SmtpServer(b"-ERR closed for today\r\n", pop=True)
        send = ["send", "--from", "pupil@example.test"]
        receive = ["receive", "--user", "tutor", "--password", "secret", "--to", str(work / "in")]
        to_good = ["--smtp", f"127.0.0.1:{good.port}", "--to", "tutor@example.test"]

        # arguments, standard input, exit code, text in stdout ("" = empty),
        # text in stderr ("" = empty), and whether stderr is a terminal
        rows = [
            (["--help"], None, 0, "usage: quorvel COMMAND", ""),
            (["-h"], None, 0, "  send ", ""),
            (["help"], None, 0, "---- quorvel parse\n\nusage: quorvel parse FILE --to DIR", ""),
            (["help", "send"], None, 0, "usage: quorvel send --smtp HOST[:PORT]", ""),
            (["send", "--help"], None, 0, "[--to ADDR]...", ""),
            (["dump", "-h"], None, 0, "usage: quorvel dump FILE", ""),
            (["parse", "--help"], None, 0, "FILE --to DIR\n\nturn one message file into a mail-data"
             " file and attachments\n\nReads one message file", ""),
            (["--version"], None, 0, f"quorvel {VERSION}\n", ""),
            (["help"], None, 0, "quorvel runs them in\nquorvel-core, the program beside it", ""),
            # quorvel-core runs the commands on the core only.
            (["quorvel-core", "mailbox", "base", "user"], None, 2, "", 'unknown command "mailbox"'),
            (["quorvel-core", "send", "--smtp", "host", "--mes", "a.mes"], None, 2, "",
             "use quorvel send --mes"),
            (["quorvel-core", "dump", str(work / "garbage.qv6")], None, 1, "packed: no", "damaged"),
            ([], None, 2, "", "usage: quorvel COMMAND"),
            (["frobnicate"], None, 2, "", 'unknown command "frobnicate"'),
            (["help", "frobnicate"], None, 2, "", 'unknown command "frobnicate"'),
            (send + ["--smtp"], None, 2, "", "option --smtp needs a value (HOST[:PORT])"),
            (send + ["--bogus"], None, 2, "", 'quorvel send: unknown option "--bogus"'),
            (send + to_good + ["--from", "other@example.test"], None, 2, "",
             "option --from given twice"),
            (send + ["--to", "tutor@example.test"], None, 2, "", "option --smtp is required"),
            (send + to_good + ["--cc", "a@example.test", "--cc", "b@example.test"], None, 2, "",
             "more --cc than --to"),
            (send + ["--smtp", "127.0.0.1:99999", "--to", "x@example.test"], None, 2, "",
             'option --smtp: "127.0.0.1:99999"'),
            (["dump", "a.qv6", "b.qv6"], None, 2, "", 'unexpected argument "b.qv6"'),
            (["dump", str(work / "garbage.qv6")], None, 1, "packed: no",
             "damaged: this is not a record file"),
            (["dump", str(work / "trailer.qv6")], None, 1, ", trailer 5 (differs)",
             "damaged: the length trailer says 5 bytes"),
            (["dump", str(work / "missing.qv6")], None, 1, "", f"cannot read {work / 'missing.qv6'}"),
            (["dump", "--", "-h"], None, 1, "", "cannot read -h"),
            (send + to_good + ["--body-file", str(work / "nobody.txt")], None, 1, "",
             f"cannot read the body file {work / 'nobody.txt'}"),
            (send + to_good + ["--attach", str(work / "none.bin")], None, 1, "",
             f"cannot attach {work / 'none.bin'}"),
            (send + ["--smtp", f"127.0.0.1:{closed}", "--to", "x@example.test"], None, 3, "",
             f"through 127.0.0.1:{closed} failed"),
            (send + ["--smtp", f"127.0.0.1:{silent.port}", "--to", "x@example.test",
                     "--timeout=200"], None, 4, "", "SMTP error identifier 5"),
            (send + ["--smtp", f"127.0.0.1:{refusing.port}", "--to", "x@example.test"], None, 5,
             "", "SMTP error identifier 3 (the server's greeting is not 220); "
             "the server said: 554 no service here\n"),
            # Repeated --to and --cc, the body from standard input; not on a
            # terminal, so no progress on standard error.
            (send + to_good + ["--to", "second@example.test", "--cc", "copy@example.test",
                               "--body-file", "-", "--subject", "repeated"], "from stdin, Grüße\r\n".encode(), 0,
             "sent to tutor@example.test, copy to copy@example.test\n"
             "sent to second@example.test\n", ""),
            (send + to_good + ["--quiet", "--body-file", str(work / "body.txt")], None, 0, "", ""),
            # On a terminal the progress bar is drawn, unless --quiet.
            (send + to_good, None, 0, "sent to tutor@example.test\n", "] 100% of ", True),
            (send + to_good + ["--quiet"], None, 0, "", "", True),
            (receive, None, 2, "", "usage: quorvel receive --pop HOST[:PORT]"),
            (receive + ["--pop", f"127.0.0.1:{maildrop.port}"], None, 0, "no mail waiting\n", ""),
            (receive + ["--pop", f"127.0.0.1:{maildrop.port}", "--quiet"], None, 0, "", "", True),
            (receive + ["--pop", f"127.0.0.1:{closed}"], None, 3, "",
             f"from 127.0.0.1:{closed} failed"),
            (receive + ["--pop", f"127.0.0.1:{refusing_pop.port}"], None, 5, "", "POP error 3 (the server's greeting is not +OK)\n"),
            # Control characters of a received subject are shown escaped,
            # and the file written reads back without a line of their own.
            (receive + ["--pop", f"127.0.0.1:{hostile.port}"], None, 0,
             '"homework  #Attachments : /etc/passwd\\xC2\\x9B2J"  0 attachment(s)\n', ""),
            (["dump", str(work / "in" / "~AT0.mes")], None, 0, "  attachments  0\n", ""),
            # --quiet: nothing but errors, and no progress off a terminal.
            (["send", "--smtp", f"127.0.0.1:{good.port}", "--mes", str(work / "quiet.mes"),
              "--quiet"], None, 0, "", ""),
            (["send", "--smtp", f"127.0.0.1:{good.port}", "--mes", str(work / "huge.mes")], None,
             1, "", "error 32774 (Cant read .mes file: larger than the 64 MiB"),
            (["dump", str(work / "huge.mes")], None, 1, "larger than 64 MiB (1073741824 bytes)", ""),
        ]
        for arguments, stdin, code, out, err, *terminal in rows:
            returncode, stdout, stderr = run_tool(arguments, stdin, bool(terminal))
            problems = []
            if returncode != code:
                problems.append(f"exit {returncode}, expected {code}")
            for name, text, expected in (("stdout", stdout, out), ("stderr", stderr, err)):
                if (expected == "" and text != "") or expected not in text:
                    problems.append(f"{name} {text!r} should {'be empty' if not expected else 'hold ' + repr(expected)}")
            if problems:
                failures.append(f"quorvel {' '.join(arguments)}: " + "; ".join(problems))

        # Off a terminal send --mes draws no progress: stderr is its last line only.
        mes = ["send", "--smtp", f"127.0.0.1:{good.port}", "--mes", str(work / "quiet.mes")]
        returncode, stdout, stderr = run_tool(mes, None, False)
        if (returncode, stdout, stderr) != (0, "", f"sent {work / 'quiet.mes'}\n"):
            failures.append(f"quorvel {' '.join(mes)}: exit {returncode}, {stdout!r}, {stderr!r}")

        rows_failed = len(failures)
        expected_recipients = ["tutor@example.test", "copy@example.test", "second@example.test"] + \
                              ["tutor@example.test"] * 5
        if good.recipients != expected_recipients:
            failures.append(f"the server saw {good.recipients}, expected {expected_recipients}")
        # The tool's texts are UTF-8, and labelled so.
        bodies = ["from stdin, Grüße\r\n".encode() in m and b'charset="utf-8"' in m
                  for m in good.messages[:3]] + \
                 [b"from a file\r\n" in m for m in good.messages[3:4]]
        if len(good.messages) != 8 or not all(bodies):
            failures.append(f"the server's messages lack their bodies: {good.messages!r}")
        for server in (good, refusing, silent, maildrop, refusing_pop, hostile):
            server.stop()
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(rows) - rows_failed} of {len(rows)} command lines as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
