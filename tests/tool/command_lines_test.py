#!/usr/bin/env python3
"""The quorvel tool's command lines, one table: each row runs the tool and checks its exit
code, standard output and standard error; SMTP and POP3 rows talk to servers run here.
Usage: command_lines_test.py QUORVEL_TOOL VERSION"""
import os
import pty
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
from pathlib import Path

from loopback import messages, recipients, serve, smtp

TOOL, VERSION = sys.argv[1], sys.argv[2]
# The program beside the tool that runs its commands on the library's core;
# a row whose first argument is its name runs it directly.
CORE = os.path.join(os.path.dirname(TOOL), "quorvel-core")
DATA = Path(__file__).resolve().parent.parent / "data" / "tool"


def maildrop(*drop):
    """A POP3 maildrop that accepts every login and serves `drop` at each connection."""
    def pop(connection, line, lines):
        verb = line[:4].upper()
        if verb == b"RETR":
            return b"+OK\r\n" + drop[int(line[5:]) - 1] + b".\r\n"
        listing = b"".join(b"%d %d\r\n" % (i + 1, len(m)) for i, m in enumerate(drop))
        return {b"STAT": b"+OK %d %d\r\n" % (len(drop), sum(map(len, drop))),
                b"LIST": b"+OK\r\n" + listing + b".\r\n",
                b"UIDL": b"+OK\r\n.\r\n"}.get(verb, b"+OK\r\n")
    return pop


def run_tool(arguments, stdin, terminal):
    """Runs the tool; with `terminal` its standard error is a pseudo-terminal."""
    command = [CORE] + arguments[1:] if arguments[:1] == ["quorvel-core"] else [TOOL] + arguments
    if not terminal:
        run = subprocess.run(command, input=stdin or b"", capture_output=True, timeout=60)
        return run.returncode, run.stdout.decode(), run.stderr.decode()
    controller, side = pty.openpty()
    run = subprocess.run(command, input=stdin or b"", stdout=subprocess.PIPE,
                         stderr=side, timeout=60)
    os.close(side)
    seen = b""
    try:
        while chunk := os.read(controller, 4096):
            seen += chunk
    except OSError:  # the terminal has no writer left
        pass
    os.close(controller)
    return run.returncode, run.stdout.decode(), seen.decode()


def agrees(text, expected):
    """Nothing: TEXT is empty; "=TEXT": exactly TEXT; otherwise each part
    between " && " appears in it ("*": anything), or with "!" does not."""
    if not expected or expected[0] == "=":
        return text == expected[1:]
    return all(part[1:] not in text if part[0] == "!" else part == "*" or part in text
               for part in expected.split(" && "))


def main():
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch) / "work"
        shutil.copytree(DATA / "work", work)  # the input files (see the README.md beside)
        good = serve(b"220 ready\r\n", smtp)
        refusing = serve(b"554 no service here\r\n")
        silent = serve(None)
        probe = socket.create_server(("127.0.0.1", 0))
        closed = probe.getsockname()[1]  # nothing listens there once it is closed
        probe.close()
        empty = serve(b"+OK ready\r\n", maildrop())
        # A subject that decodes to a line end and a key, and a C1 control
        # (CSI) that a terminal would take for an escape sequence.
        hostile = serve(b"+OK ready\r\n", maildrop(
            b"From: p@example.test\r\nTo: t@example.test\r\nSubject: "
            b"=?UTF-8?Q?homework=0D=0A#Attachments_:_/etc/passwd=C2=9B2J?=\r\n\r\nhi\r\n"))
        with open(work / "huge.mes", "wb") as huge:  # sparse: a value of 1 GiB
            huge.write(b"#To : tutor@example.test\r\n#Message : ")
            huge.truncate(1 << 30)
        refusing_pop = serve(b"-ERR closed for today\r\n")
        # Names that hold an accent, a tab and an escape sequence, and a 300 kB
        # attachment of each mail-data file in queue/.
        for folder in ("shared", "out", "sent"):
            (work / folder).mkdir()
        for name, content in (("essai é.txt", b"essai"), ("tab\tname.txt", b"tab!"),
                              ("esc\x1b[2J.txt", b"esc")):
            (work / name).write_bytes(content)
        for name in "abc":
            (work / "queue" / f"{name}_1.att").write_bytes(os.urandom(300000))
        places = {"work": work, "version": VERSION, "good": good, "refusing": refusing,
                  "silent": silent, "closed": closed, "empty": empty, "hostile": hostile,
                  "refusing_pop": refusing_pop, "tab": "\t", "esc": "\x1b", "bel": "\x07",
                  "route": f"3|{work}/shared", "nowhere": "2|a|b|25",
                  "send": "send --from pupil@example.test",
                  "receive": f"receive --user tutor --password secret --to {work}/in",
                  "to_good": f"--smtp 127.0.0.1:{good} --to tutor@example.test"}
        rows = [line.rstrip("\n") for line in (DATA / "command-lines.txt").open(encoding="utf-8")
                if line.strip() and not line.startswith("#")]
        for row in rows:
            code, arguments, out, err = [field.format(**places).replace("\\n", "\n")
                                         for field in row.split(" |")]
            code, *flags = code.split()
            arguments = shlex.split(arguments)
            stdin = "from stdin, Grüße\r\n".encode() if "stdin" in flags else None
            returncode, stdout, stderr = run_tool(arguments, stdin, "tty" in flags)
            problems = [] if returncode == int(code) else [f"exit {returncode}, expected {code}"]
            for name, text, expected in (("stdout", stdout, out[1:]), ("stderr", stderr, err[1:])):
                if not agrees(text, expected):
                    problems.append(f"{name} {text!r} should agree with {expected!r}")
            if problems:
                failures.append(f"quorvel {' '.join(arguments)}: " + "; ".join(problems))

        rows_failed = len(failures)
        expected_recipients = ["tutor@example.test", "copy@example.test", "second@example.test"] + \
                              ["tutor@example.test"] * 7
        if recipients != expected_recipients:
            failures.append(f"the server saw {recipients}, expected {expected_recipients}")
        # The tool's texts are UTF-8, and labelled so.
        bodies = ["from stdin, Grüße\r\n".encode() in m and b'charset="utf-8"' in m
                  for m in messages[:3]] + [b"from a file\r\n" in m for m in messages[3:4]]
        if len(messages) != 10 or not all(bodies):
            failures.append(f"the server's messages lack their bodies: {messages!r}")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(rows) - rows_failed} of {len(rows)} command lines as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
