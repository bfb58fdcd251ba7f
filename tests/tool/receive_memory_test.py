#!/usr/bin/env python3
"""quorvel receive keeps its memory bounded whatever the message, one table
of messages generated while they are sent (never held whole): a large
multipart message (a body text past the record's bound, a base64 attachment,
a quoted-printable part, and a last part that is one line of many megabytes
without a line end), a header folded over many megabytes, and messages at
and past the size limit (one with no end, under the default limit). Each row
checks the exit code, whether the message was deleted on the server, the
files received against the bytes that were encoded (SHA-256), and the
tool's peak resident memory as the kernel counts it for the child
(ru_maxrss, as /usr/bin/time reports it).

Usage: receive_memory_test.py QUORVEL_TOOL LIMIT_MB [SCALE_MB]
"""
import base64
import hashlib
import os
import random
import socket
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

TOOL, LIMIT_MB = sys.argv[1], int(sys.argv[2])
SCALE = int(sys.argv[3]) if len(sys.argv) > 3 else 64  # MiB per large piece
MIB = 1024 * 1024
BLOCK = random.Random(7).randbytes(MIB - MIB % 57)  # 57 bytes: one base64 line


class Message:
    """Pieces of a message (bytes or generators of bytes) and the SHA-256 of
    the decoded parts it must give."""

    def __init__(self, pieces, parts=()):
        self.pieces, self.parts = pieces, set(parts)
        self.size = sum(len(p) if isinstance(p, bytes) else p.size for p in self.pieces)


class Repeated:
    """`count` times what `make` gives for one BLOCK."""

    def __init__(self, count, make):
        self.count, self.chunk = count, make(BLOCK)
        self.size = count * len(self.chunk)

    def __iter__(self):
        return (self.chunk for _ in range(self.count))


def digest(pieces):
    h = hashlib.sha256()
    for piece in pieces:
        h.update(piece)
    return h.hexdigest()


def large_multipart():
    n = SCALE
    text = b"lesson one two three four five six seven eight nine ten\r\n" * (2 * MIB // 58)
    qp_line = b"caf=C3=A9 and tea=3D " * 3
    qp = qp_line + b"=\r\n" + qp_line + b"\r\n"
    qp_count = MIB // len(qp)
    decoded_qp = (("caf\xc3\xa9 and tea= " * 6).encode("latin-1") + b"\r\n") * qp_count
    head = (b"From: Pupil <p@example.test>\r\nTo: t@example.test\r\nSubject: large\r\n"
            b"Content-Type: multipart/mixed; boundary=\"zz\"\r\n\r\npreamble\r\n")
    return Message([
        head, b"--zz\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n", text,
        b"--zz\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
        b"Content-Transfer-Encoding: base64\r\n\r\n",
        Repeated(n, lambda b: base64.encodebytes(b).replace(b"\n", b"\r\n")),
        b"--zz\r\nContent-Type: text/plain; name=\"q.txt\"\r\n"
        b"Content-Transfer-Encoding: quoted-printable\r\n\r\n", qp * qp_count,
        b"--zz\r\nContent-Type: application/x-line; name=\"line.bin\"\r\n\r\n",
        Repeated(n, lambda b: base64.b64encode(b)), b"\r\n"],
        [digest([text[:-2]]), digest(BLOCK for _ in range(n)), digest([decoded_qp[:-2]]),
         digest(list(Repeated(n, lambda b: base64.b64encode(b))) + [b"\r\n"])])


def folded_header():
    fold = b"Subject: folded\r\n" + b" and again" * 6 + b"\r\n"
    return Message([b"From: p@example.test\r\nContent-Type: application/x; name=\"after.bin\"\r\n",
                    fold[:17], Repeated(SCALE, lambda b: fold[17:] * (MIB // 64)), b"\r\nkept\r\n"],
                   [digest([b"kept\r\n"])])


def sized(size):
    head = b"From: p@example.test\r\nContent-Type: application/x; name=\"s.bin\"\r\n\r\n"
    body = b"x" * (size - len(head) - 2) + b"\r\n"
    return Message([head, body], [digest([body])])


class NoEnd:
    size = 1000

    def __iter__(self):
        line = b"y" * 1022 + b"\r\n"
        return (line * 1024 for _ in range(1024 * 1024))  # a TiB at most


class Server:
    """One POP3 session, one message; LIST says `listed` (default: its size)."""

    def __init__(self, message, listed=None):
        self.message, self.listed = message, listed or message.size
        self.commands = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        connection, _ = self.listener.accept()
        with connection, connection.makefile("rb") as lines:
            connection.sendall(b"+OK ready\r\n")
            for line in lines:
                command = line.strip().decode()
                self.commands.append(command)
                verb = command[:4].upper()
                try:
                    if verb == "STAT":
                        connection.sendall(b"+OK 1 %d\r\n" % self.listed)
                    elif verb == "LIST":
                        connection.sendall(b"+OK 1 %d\r\n" % self.listed)
                    elif verb == "RETR":
                        connection.sendall(b"+OK\r\n")
                        for piece in self.message.pieces:
                            for chunk in ([piece] if isinstance(piece, bytes) else piece):
                                connection.sendall(chunk)
                        connection.sendall(b".\r\n")
                    else:
                        connection.sendall(b"+OK\r\n")
                        if verb == "QUIT":
                            return
                except OSError:  # the client has gone
                    return


def run(message, options, listed=None):
    server = Server(message, listed)
    target = Path(tempfile.mkdtemp(prefix="in-", dir=os.environ["TMPDIR"]))
    peak = target / "peak"
    child = subprocess.Popen(
        ["/usr/bin/time", "-f", "%M", "-o", str(peak), TOOL, "receive", "--pop", f"127.0.0.1:{server.port}", "--user", "u", "--password", "p",
         "--to", str(target), "--timeout", "10000", "--quiet"] + options,
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stderr = child.stderr.read().decode(errors="replace")
    child.wait()
    server.thread.join(30)
    peak_mb = int(peak.read_text().split()[-1]) / 1024
    peak.unlink()
    return child.returncode, stderr, peak_mb, server, target


def main():
    mib = str(3 * SCALE * MIB)
    rows = [  # name, message, options, LIST size, exit code, deleted
        ("large multipart", large_multipart(), ["--max-size", mib], None, 0, True),
        ("folded header", folded_header(), ["--max-size", mib], None, 0, True),
        ("at the limit", sized(MIB), ["--max-size", str(MIB)], None, 0, True),
        ("past the limit, LIST lies", sized(MIB + 1), ["--max-size", str(MIB)], 1000, 6, False),
        ("no end, default limit", Message([NoEnd()]), [], 1000, 6, False),
    ]
    failures = []
    with tempfile.TemporaryDirectory(prefix="quorvel-receive-memory-") as scratch:
        os.environ["TMPDIR"] = scratch
        for name, message, options, listed, code, deleted in rows:
            exit_code, stderr, peak_mb, server, target = run(message, options, listed)
            print(f"{name}: exit {exit_code}, peak resident {peak_mb:.1f} MB")
            if exit_code != code:
                failures.append(f"{name}: exit {exit_code}, stderr {stderr!r}")
            if any(c.upper().startswith("DELE") for c in server.commands) != deleted:
                failures.append(f"{name}: DELE sent is not {deleted}: {server.commands}")
            if peak_mb >= LIMIT_MB:
                failures.append(f"{name}: peak {peak_mb:.1f} MB, limit {LIMIT_MB} MB")
            files = [p for p in target.iterdir() if p.suffix != ".mes"]
            digests = set()
            for path in files:
                h = hashlib.sha256()
                with path.open("rb") as f:
                    while chunk := f.read(MIB):
                        h.update(chunk)
                digests.add(h.hexdigest())
            wanted = message.parts if deleted else set()
            if digests != wanted or len(list(target.glob("*.mes"))) != int(deleted):
                failures.append(f"{name}: files {sorted(p.name for p in target.iterdir())}, "
                                f"{len(wanted - digests)} part(s) missing or changed")
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


main()
