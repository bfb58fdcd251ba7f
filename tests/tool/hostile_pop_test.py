#!/usr/bin/env python3
"""quorvel receive against hostile POP3 servers, one table: a server that
trickles a message a byte at a time, one that closes in its middle, one whose
message has no end (and whose LIST lies about its size), and one whose
message is a single huge line. Each row checks the exit code, the reason on
standard error, that the message stays on the server (no DELE), how long a
trickled message held the tool (under twice the time-out) and the tool's
peak resident memory (as /usr/bin/time reports it): the rows that would grow
without end run under a size limit of 4 MiB, and memory stays within a
small multiple of it.

Usage: hostile_pop_test.py QUORVEL_TOOL LIMIT_MB
"""
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

TOOL, LIMIT_MB = sys.argv[1], int(sys.argv[2])
TIMEOUT_MS = 500
MIB = 1024 * 1024
HEADER = b"From: a@example.test\r\nSubject: hostile\r\n\r\n"


class HostileServer:
    """One POP3 session: two messages waiting; the first one's RETR is
    answered by `retr`, which sends what it likes on the connection."""

    def __init__(self, listed, retr):
        self.listed, self.retr = listed, retr
        self.commands = []
        self.held_seconds = None  # from RETR until the client let go
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
                if verb == "STAT":
                    connection.sendall(b"+OK 2 %d\r\n" % (self.listed + 10))
                elif verb == "LIST":
                    connection.sendall(b"+OK %s %d\r\n" % (command[5:].encode(), self.listed))
                elif verb == "RETR":
                    start = time.monotonic()
                    try:
                        self.retr(connection)
                    except OSError:  # the client has gone
                        pass
                    self.held_seconds = time.monotonic() - start
                    return
                else:
                    connection.sendall(b"+OK\r\n")
                    if verb == "QUIT":
                        return


def trickle(connection):
    """A byte every 20 ms for up to 20 s, until the client closes."""
    connection.sendall(b"+OK\r\n" + HEADER)
    for _ in range(1000):
        connection.sendall(b"x")
        time.sleep(0.02)


def close_midway(connection):
    connection.sendall(b"+OK\r\n" + HEADER + b"the first half of the text")
    connection.shutdown(socket.SHUT_RDWR)


def no_end(connection):
    """Lines as fast as the client takes them, never a terminating line."""
    connection.sendall(b"+OK\r\n" + HEADER)
    block = (b"y" * 1022 + b"\r\n") * 1024
    for _ in range(10 * 1024):  # 10 GiB at most
        connection.sendall(block)


def huge_line(size):
    def send(connection):
        connection.sendall(b"+OK\r\n" + HEADER)
        block = b"z" * MIB
        for _ in range(size // MIB):
            connection.sendall(block)
        connection.sendall(b"\r\n.\r\n")
    return send


def main():
    # (name, LIST size, RETR behaviour, extra options, exit code, POP error,
    #  RETR expected)
    rows = [
        ("trickle", 1000, trickle, [], 4, 12, True),
        ("close mid-message", 1000, close_midway, [], 3, 10, True),
        ("no end, LIST lies", 1000, no_end, ["--max-size", str(4 * MIB)], 6, 16, True),
        ("a huge line over the limit", 100 * MIB + 1, huge_line(100 * MIB), [], 6, 16, False),
        ("a huge line over a lowered limit, LIST lies", 1000, huge_line(32 * MIB),
         ["--max-size", str(4 * MIB)], 6, 16, True),
    ]
    failures = []
    with tempfile.TemporaryDirectory(prefix="quorvel-hostile-pop-") as scratch:
        scratch = Path(scratch)
        for name, listed, retr, options, code, pop_error, retrieved in rows:
            server = HostileServer(listed, retr)
            target = scratch / name.replace(" ", "-").replace(",", "")
            target.mkdir()
            peak_file = scratch / "peak"
            run = subprocess.run(
                ["/usr/bin/time", "-f", "%M", "-o", str(peak_file), TOOL, "receive",
                 "--pop", f"127.0.0.1:{server.port}", "--user", "u", "--password", "p",
                 "--to", str(target), "--timeout", str(TIMEOUT_MS), "--quiet"] + options,
                capture_output=True, text=True, timeout=120, env={"TMPDIR": str(scratch)})
            server.thread.join(30)
            peak_mb = int(peak_file.read_text().split()[-1]) / 1024
            held = server.held_seconds
            print(f"{name}: exit {run.returncode}, peak resident {peak_mb:.1f} MB, "
                  f"held {held if held is None else round(held, 3)} s")
            reason = (f"quorvel receive: message 1 from 127.0.0.1:{server.port} was not "
                      f"received: POP error {pop_error} (")
            if run.returncode != code or reason not in run.stderr:
                failures.append(f"{name}: exit {run.returncode}, stderr {run.stderr!r}")
            if any(c.upper().startswith("DELE") for c in server.commands):
                failures.append(f"{name}: deleted on the server: {server.commands}")
            if any(c.upper().startswith("RETR") for c in server.commands) != retrieved:
                failures.append(f"{name}: RETR sent: {server.commands}")
            if any(c.upper().startswith("LIST 2") for c in server.commands) != (not retrieved):
                failures.append(f"{name}: the session went on as it should not: {server.commands}")
            if name == "trickle" and (held is None or held >= 2 * TIMEOUT_MS / 1000):
                failures.append(f"{name}: held the tool {held} s, time-out {TIMEOUT_MS} ms")
            if peak_mb >= LIMIT_MB:
                failures.append(f"{name}: peak {peak_mb:.1f} MB, limit {LIMIT_MB} MB")
            if any(target.iterdir()):
                failures.append(f"{name}: left {sorted(p.name for p in target.iterdir())}")
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


main()
