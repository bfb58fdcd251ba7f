#!/usr/bin/env python3
"""quorvel send of large attachments in constant memory: for each size, a
sparse file is sent to a sink on loopback that counts the message's bytes;
the tool's peak resident memory (as /usr/bin/time reports it: a child of
this script would inherit the script's own size in its count) must stay
under the limit whatever the size, and the sink must have received the whole
message.

Usage: send_memory_test.py QUORVEL_TOOL LIMIT_MB SIZE_MB...
"""
import socket
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

TOOL, LIMIT_MB, SIZES_MB = sys.argv[1], int(sys.argv[2]), [int(s) for s in sys.argv[3:]]


def encoded_length(size):
    """Base64 text of `size` bytes in 72-character lines ending with CR LF."""
    groups = (size + 2) // 3
    return groups * 4 + (groups + 17) // 18 * 2


class CountingSink:
    """One SMTP session at a time; keeps only the size and the last bytes of
    each message's data."""

    def __init__(self):
        self.sizes = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            connection, _ = self.listener.accept()
            with connection:
                self.session(connection)

    def session(self, connection):
        connection.sendall(b"220 sink\r\n")
        pending = b""
        while True:
            chunk = connection.recv(1 << 16)
            if not chunk:
                return
            pending += chunk
            while b"\r\n" in pending:
                line, pending = pending.split(b"\r\n", 1)
                verb = line[:4].upper()
                if verb == b"DATA":
                    connection.sendall(b"354 go on\r\n")
                    pending = self.data(connection, pending)
                    connection.sendall(b"250 counted\r\n")
                elif verb == b"QUIT":
                    connection.sendall(b"221 bye\r\n")
                    return
                else:
                    connection.sendall(b"250 ok\r\n")

    def data(self, connection, pending):
        size = 0
        tail = pending
        while b"\r\n.\r\n" not in tail:
            chunk = connection.recv(1 << 20)
            if not chunk:
                raise RuntimeError("connection closed in the data")
            size += len(tail) - 8 if len(tail) > 8 else 0
            tail = tail[-8:] + chunk if len(tail) > 8 else tail + chunk
        end = tail.index(b"\r\n.\r\n")
        self.sizes.append(size + end + 2)
        return tail[end + 5:]


def main():
    sink = CountingSink()
    failures = []
    with tempfile.TemporaryDirectory(prefix="quorvel-send-memory-") as scratch:
        for size_mb in SIZES_MB:
            attachment = Path(scratch) / f"sparse-{size_mb}.bin"
            with open(attachment, "wb") as f:
                f.truncate(size_mb * 1024 * 1024)
            peak_file = Path(scratch) / "peak"
            run = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(peak_file), TOOL, "send", "--smtp", f"127.0.0.1:{sink.port}",
                                  "--from", "pupil@example.test", "--to", "tutor@example.test",
                                  "--attach", str(attachment), "--quiet"],
                                 capture_output=True, text=True, env={"TMPDIR": scratch})
            peak_mb = int(peak_file.read_text().split()[-1]) / 1024
            attachment.unlink()
            print(f"{size_mb} MB attachment: peak resident {peak_mb:.1f} MB")
            if run.returncode != 0:
                failures.append(f"{size_mb} MB: exit {run.returncode}: {run.stderr}")
                continue
            if peak_mb >= LIMIT_MB:
                failures.append(f"{size_mb} MB: peak {peak_mb:.1f} MB, limit {LIMIT_MB} MB")
            received = sink.sizes[-1]
            text = encoded_length(size_mb * 1024 * 1024)
            if not text < received < text + 2000:
                failures.append(f"{size_mb} MB: {received} bytes received, text alone {text}")
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


main()
