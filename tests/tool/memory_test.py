#!/usr/bin/env python3
"""The quorvel tool streams: its peak resident memory (as /usr/bin/time reports it) stays
under LIMIT_MB. send: a sparse attachment of each size goes whole to an SMTP server on
loopback. receive: POP3 sessions whose messages are generated while sent; each row checks the
exit code, the reason, the commands the server saw and the files received (SHA-256).
Usage: memory_test.py QUORVEL_TOOL LIMIT_MB send SIZE_MB... | receive [SCALE_MB]"""
import base64
import hashlib
import itertools
import os
import random
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from loopback import messages, serve, smtp

TOOL, LIMIT_MB, MODE = sys.argv[1], int(sys.argv[2]), sys.argv[3]
MIB = 1024 * 1024
failures = []


def run_tool(name, arguments, scratch):
    """Runs the tool quietly and answers its exit code and standard error; a
    peak at or over the limit is a failure."""
    peak = Path(scratch) / "peak"
    run = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(peak), TOOL] + arguments +
                         ["--quiet"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         timeout=600, env=dict(os.environ, TMPDIR=scratch))
    peak_mb = int(peak.read_text().split()[-1]) / 1024
    print(f"{name}: exit {run.returncode}, peak resident {peak_mb:.1f} MB")
    if peak_mb >= LIMIT_MB:
        failures.append(f"{name}: peak {peak_mb:.1f} MB, limit {LIMIT_MB} MB")
    return run.returncode, run.stderr.decode(errors="replace")


def send(sizes_mb):
    port = serve(b"220 sink\r\n", smtp)
    for size_mb in sizes_mb:
        messages.clear()
        with tempfile.TemporaryDirectory(prefix="quorvel-send-memory-") as scratch:
            attachment = Path(scratch) / "sparse.bin"
            with open(attachment, "wb") as f:
                f.truncate(size_mb * MIB)
            code, stderr = run_tool(f"{size_mb} MB attachment", [
                "send", "--smtp", f"127.0.0.1:{port}", "--from", "pupil@example.test",
                "--to", "tutor@example.test", "--attach", str(attachment)], scratch)
        received = [len(message) for message in messages]
        groups = (size_mb * MIB + 2) // 3  # base64 in lines of 72 characters and CR LF
        text = groups * 4 + (groups + 17) // 18 * 2
        if code != 0 or len(received) != 1 or not text < received[0] < text + 2000:
            failures.append(f"{size_mb} MB: exit {code}, {received} bytes received, "
                            f"text alone {text}: {stderr}")


def digest(pieces):
    return hashlib.sha256(b"".join(pieces)).hexdigest()


def receive_rows(scale):
    """(name, count of messages, LIST size (None: the message's), what RETR
    sends after +OK (pieces ending with the terminating line, or a function of
    the connection), options, exit code, POP error, the LIST, RETR and DELE
    commands the server saw, in order, and the digests of the parts written)."""
    block = random.Random(7).randbytes(MIB - MIB % 57)  # 57 bytes: one base64 line
    text = b"lesson one two three four five six seven eight nine ten\r\n" * (2 * MIB // 58)
    qp_line = b"caf=C3=A9 and tea=3D " * 3
    qp = (qp_line + b"=\r\n" + qp_line + b"\r\n") * (MIB // 130)
    decoded_qp = (("caf\xc3\xa9 and tea= " * 6).encode("latin-1") + b"\r\n") * (MIB // 130)
    attachment = [base64.encodebytes(block).replace(b"\n", b"\r\n")] * scale
    line = [base64.b64encode(block)] * scale
    large = [b"From: Pupil <p@example.test>\r\nTo: t@example.test\r\nSubject: large\r\n"
             b"Content-Type: multipart/mixed; boundary=\"zz\"\r\n\r\npreamble\r\n"
             b"--zz\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n", text,
             b"--zz\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
             b"Content-Transfer-Encoding: base64\r\n\r\n", *attachment,
             b"--zz\r\nContent-Type: text/plain; name=\"q.txt\"\r\n"
             b"Content-Transfer-Encoding: quoted-printable\r\n\r\n", qp,
             b"--zz\r\nContent-Type: application/x-line; name=\"line.bin\"\r\n\r\n", *line,
             b"\r\n.\r\n"]
    large_parts = [digest([text[:-2]]), digest([block] * scale), digest([decoded_qp[:-2]]),
                   digest(line + [b"\r\n"])]
    fold = b" and again" * 6 + b"\r\n"
    folded = [b"From: p@example.test\r\nContent-Type: application/x; name=\"after.bin\"\r\n"
              b"Subject: folded\r\n", *[fold * (MIB // 64)] * scale, b"\r\nkept\r\n.\r\n"]

    def sized(size):
        head = b"From: p@example.test\r\nContent-Type: application/x; name=\"s.bin\"\r\n\r\n"
        return [head, b"x" * (size - len(head) - 2) + b"\r\n", b".\r\n"]
    header = b"From: a@example.test\r\nSubject: hostile\r\n\r\n"
    no_end = itertools.chain([header], itertools.repeat((b"y" * 1022 + b"\r\n") * 1024, MIB))

    def trickle(connection):  # a byte every 20 ms for up to 20 s, until the client closes
        connection.sendall(header)
        for _ in range(1000):
            connection.sendall(b"x")
            time.sleep(0.02)

    def break_off(connection):
        connection.sendall(header + b"the first half of the text")
        connection.shutdown(socket.SHUT_RDWR)
    limit = ["--max-size", str(3 * scale * MIB)]
    taken, kept = ["LIST 1", "RETR 1", "DELE 1"], ["LIST 1", "RETR 1"]
    return [
        ("large multipart", 1, None, large, limit, 0, None, taken, large_parts),
        ("folded header", 1, None, folded, limit, 0, None, taken, [digest([b"kept\r\n"])]),
        ("at the limit", 1, None, sized(MIB), ["--max-size", str(MIB)], 0, None, taken,
         [digest([sized(MIB)[1]])]),
        ("past the limit, LIST lies", 1, 1000, sized(MIB + 1), ["--max-size", str(MIB)], 6, 16,
         kept, []),
        ("no end, default limit", 1, 1000, no_end, [], 6, 16, kept, []),
        ("listed over the limit", 2, 100 * MIB + 1, [], [], 6, 16, ["LIST 1", "LIST 2"], []),
        ("trickle", 1, 1000, trickle, ["--timeout", "500"], 4, 12, kept, []),
        ("broken off", 1, 1000, break_off, [], 3, 10, kept, []),
    ]


def receive(scale):
    for name, count, listed, retr, options, code, pop_error, seen, parts in receive_rows(scale):
        listed = listed or sum(map(len, retr)) - 3
        commands = []

        def pop(connection, line, lines):
            command = line.strip().decode()
            commands.append(command)
            verb = command[:4].upper()
            if verb == "RETR":
                connection.sendall(b"+OK\r\n")
                if callable(retr):
                    retr(connection)
                for piece in () if callable(retr) else retr:
                    connection.sendall(piece)
                return b""
            return {"STAT": b"+OK %d %d\r\n" % (count, count * listed),
                    "LIST": b"+OK %s %d\r\n" % (command[5:].encode(), listed)}.get(verb, b"+OK\r\n")
        with tempfile.TemporaryDirectory(prefix="quorvel-receive-memory-") as scratch:
            port = serve(b"+OK ready\r\n", pop)
            target = Path(scratch) / "in"
            exit_code, stderr = run_tool(name, [
                "receive", "--pop", f"127.0.0.1:{port}", "--user", "u", "--password", "p",
                "--to", str(target)] + (options if "--timeout" in options else
                                        options + ["--timeout", "10000"]), scratch)
            reason = (f"quorvel receive: message 1 from 127.0.0.1:{port} was not received: "
                      f"POP error {pop_error} (")
            if exit_code != code or (pop_error and reason not in stderr):
                failures.append(f"{name}: exit {exit_code}, stderr {stderr!r}")
            if [c for c in commands if c[:4].upper() in ("LIST", "RETR", "DELE")] != seen:
                failures.append(f"{name}: the server saw {commands}, expected {seen} among them")
            files = sorted(target.iterdir()) if target.exists() else []
            digests = [hashlib.file_digest(p.open("rb"), "sha256").hexdigest()
                       for p in files if p.suffix != ".mes"]
            if sorted(digests) != sorted(parts) or len(files) - len(digests) != int(code == 0):
                failures.append(f"{name}: files {[p.name for p in files]}, "
                                f"{len(set(parts) - set(digests))} part(s) missing or changed")


if MODE == "send":
    send([int(s) for s in sys.argv[4:]])
else:
    receive(int(sys.argv[4]) if len(sys.argv) > 4 else 64)
for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
