#!/usr/bin/env python3
"""Writes a test message of about SIZE bytes as a mail program would send it:
multipart/mixed with a plain-text part (a quarter of the size, 72-character
lines) and a base64 attachment of random bytes (the other three quarters,
76-character lines). Line ends are CR LF, or LF with --lf (as a Maildir
stores it). The bytes are the same for the same SIZE.
Usage: make_message.py SIZE OUTPUT [--lf]"""
import base64
import random
import sys


def message(size: int, newline: bytes) -> bytes:
    rng = random.Random(size)
    text_size = size // 4
    words = [b"lesson", b"pupil", b"answer", b"exercise", b"chapter", b"note", b"page", b"tutor"]
    lines, length = [], 0
    while length < text_size:
        line = b" ".join(rng.choice(words) for _ in range(11))[:72]
        lines.append(line)
        length += len(line) + len(newline)
    count = (size - length) * 3 // 4 * 76 // 78
    # One call draws at most 2^31 bits; a larger message draws in pieces.
    piece = 1 << 27
    binary = (rng.randbytes(count) if count < piece
              else b"".join(rng.randbytes(min(piece, count - at)) for at in range(0, count, piece)))
    encoded = base64.encodebytes(binary).splitlines()
    head = [
        b"From: Pupil One <pupil@example.test>",
        b"To: Tutor <fetcher@example.test>",
        b"Subject: benchmark message",
        b"Date: Sun, 06 Dec 2026 12:00:00 +0000",
        b"Message-ID: <benchmark@example.test>",
        b"MIME-Version: 1.0",
        b'Content-Type: multipart/mixed; boundary="bench-boundary"',
        b"",
        b"--bench-boundary",
        b"Content-Type: text/plain; charset=us-ascii",
        b"Content-Transfer-Encoding: 7bit",
        b"",
    ]
    middle = [
        b"--bench-boundary",
        b'Content-Type: application/octet-stream; name="lesson.bin"',
        b"Content-Transfer-Encoding: base64",
        b'Content-Disposition: attachment; filename="lesson.bin"',
        b"",
    ]
    tail = [b"--bench-boundary--", b""]
    return newline.join(head + lines + middle + encoded + tail)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    newline = b"\n" if sys.argv[3:] == ["--lf"] else b"\r\n"
    with open(sys.argv[2], "wb") as out:
        out.write(message(int(sys.argv[1]), newline))
