#!/usr/bin/env python3
"""The email test messages of Python's standard library read by `quorvel parse` and by Python's
email package (policy default): body text and attachment bytes agree except on the messages of
tests/data/email-corpus/disagreements.txt (name, then the reason that makes neither reading wrong).
Usage: email_corpus_test.py QUORVEL_TOOL [DATA_DIRECTORY]"""
import email
import glob
import os
import subprocess
import sys
import tempfile
from email import policy

LISTED = os.path.join(os.path.dirname(__file__), "..", "data", "email-corpus", "disagreements.txt")
DISAGREEMENTS = {line.split()[0] for line in open(LISTED) if line.strip()}


def python_view(data):
    body, attachments = None, []
    for part in email.message_from_bytes(data, policy=policy.default).walk():
        if part.is_multipart() or part.get_content_type() == "message/rfc822":
            continue
        if (part.get_content_type() == "text/plain" and body is None
                and part.get_content_disposition() != "attachment"):
            try:
                body = part.get_content()
            except Exception:
                body = part.get_payload(decode=True).decode("latin-1")
        else:
            attachments.append(part.get_payload(decode=True) or b"")
    return (body or "").replace("\r\n", "\n").rstrip("\r\n"), attachments


def our_view(tool, path, work):
    out = tempfile.mkdtemp(dir=work)
    if subprocess.run([tool, "parse", path, "--to", out], capture_output=True).returncode:
        return None
    mes = glob.glob(out + "/*.mes")[0]
    text = open(mes, "rb").read().decode("utf-8", "replace")
    body = text.split("#Message : ", 1)[1].rsplit("\r\n#BodyType : ", 1)[0]
    parts = sorted(glob.glob(mes[:-4] + "_*.att"), key=lambda p: int(p[len(mes) - 3:-4]))
    return body.replace("\r\n", "\n").rstrip("\n"), [open(p, "rb").read() for p in parts]


def main():
    data = sys.argv[2] if len(sys.argv) > 2 else "/usr/lib/python3.11/test/test_email/data"
    paths = sorted(glob.glob(data + "/msg_*.txt"))
    if not paths:
        print("no corpus at " + data)
        return 1
    failures, agreed = [], 0
    with tempfile.TemporaryDirectory() as work:
        for path in paths:
            name = os.path.basename(path)
            ours = our_view(sys.argv[1], path, work)
            agrees = ours == python_view(open(path, "rb").read())
            agreed += agrees
            if agrees == (name in DISAGREEMENTS):
                failures.append(name + (": listed as a disagreement but agrees" if agrees else
                                        ": quorvel parse failed" if ours is None else
                                        ": body or attachments differ"))
    print("%d of %d messages agree; %d listed disagreements"
          % (agreed, len(paths), len(DISAGREEMENTS)))
    for failure in failures:
        print("DIFFERS " + failure)
    return 1 if failures else 0


sys.exit(main())
