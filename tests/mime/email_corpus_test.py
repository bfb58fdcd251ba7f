#!/usr/bin/env python3
"""The email test messages of Python's standard library read by our reader
(quorvel parse) and by Python's email package (policy default): for each
message the body text, the attachment names and the attachment bytes must
agree, except for the messages listed in DISAGREEMENTS, each with its reason.
Usage: email_corpus_test.py QUORVEL_TOOL [DATA_DIRECTORY]"""
import email
import glob
import os
import subprocess
import sys
import tempfile
from email import policy

# Messages on which the two readers differ, each for a reason that makes
# neither reading wrong.
NESTED_SAME_BOUNDARY = ("a nested multipart reuses its parent's boundary, which "
                        "the MIME rules forbid; no reading is the right one")
NO_HEADER_SEPARATOR = ("the header block ends without a blank line; Python ends "
                       "it at the first line that is not a field, we read fields "
                       "up to the blank line")
MESSAGE_PART_WHOLE = ("a message/delivery-status or message/external-body part "
                      "is kept whole as one attachment; Python splits it into "
                      "its header blocks")
DISAGREEMENTS = {
    "msg_15.txt": NESTED_SAME_BOUNDARY,
    "msg_38.txt": NESTED_SAME_BOUNDARY,
    "msg_39.txt": NESTED_SAME_BOUNDARY,
    "msg_19.txt": NO_HEADER_SEPARATOR,
    "msg_35.txt": NO_HEADER_SEPARATOR,
    "msg_16.txt": MESSAGE_PART_WHOLE,
    "msg_36.txt": MESSAGE_PART_WHOLE,
    "msg_43.txt": MESSAGE_PART_WHOLE,
    "msg_42.txt": ("an enclosed message whose multipart has no body part at all: "
                   "we keep its closing line as text, Python an empty payload"),
}


def leaves(message):
    for part in message.walk():
        if part.is_multipart() or part.get_content_type() == "message/rfc822":
            continue
        yield part


def python_view(data):
    message = email.message_from_bytes(data, policy=policy.default)
    body = None
    attachments = []
    for part in leaves(message):
        attachment = part.get_content_disposition() == "attachment"
        if part.get_content_type() == "text/plain" and not attachment and body is None:
            try:
                body = part.get_content()
            except Exception:
                body = part.get_payload(decode=True).decode("latin-1")
            continue
        payload = part.get_payload(decode=True) or b""
        attachments.append((part.get_filename(), payload))
    return (body or "").replace("\r\n", "\n").rstrip("\r\n"), attachments


def our_view(tool, path, work):
    out = tempfile.mkdtemp(dir=work)
    result = subprocess.run([tool, "parse", path, "--to", out], capture_output=True)
    if result.returncode != 0:
        return None
    mes = glob.glob(out + "/*.mes")[0]
    text = open(mes, "rb").read().decode("utf-8", "replace")
    body = text.split("#Message : ", 1)[1].rsplit("\r\n#BodyType : ", 1)[0]
    title = mes[:-4]
    attachments = []
    k = 1
    while os.path.exists("%s_%d.att" % (title, k)):
        attachments.append(open("%s_%d.att" % (title, k), "rb").read())
        k += 1
    return body.replace("\r\n", "\n").rstrip("\n"), attachments


def main():
    tool = sys.argv[1]
    data = sys.argv[2] if len(sys.argv) > 2 else "/usr/lib/python3.11/test/test_email/data"
    paths = sorted(glob.glob(data + "/msg_*.txt"))
    if not paths:
        print("no corpus at " + data)
        return 1
    failures = []
    agreed = 0
    with tempfile.TemporaryDirectory() as work:
        for path in paths:
            name = os.path.basename(path)
            theirs = python_view(open(path, "rb").read())
            ours = our_view(tool, path, work)
            problems = []
            if ours is None:
                problems.append("quorvel parse failed")
            else:
                if ours[0] != theirs[0]:
                    problems.append("body %r != %r" % (ours[0][:60], theirs[0][:60]))
                if [a for a in ours[1]] != [b for _, b in theirs[1]]:
                    problems.append("attachments %d != %d or bytes differ" % (len(ours[1]), len(theirs[1])))
            if problems and name not in DISAGREEMENTS:
                failures.append(name + ": " + "; ".join(problems))
            elif not problems:
                agreed += 1
                if name in DISAGREEMENTS:
                    failures.append(name + ": listed as a disagreement but agrees")
    print("%d of %d messages agree; %d listed disagreements" % (agreed, len(paths), len(DISAGREEMENTS)))
    for failure in failures:
        print("DIFFERS " + failure)
    return 1 if failures else 0


sys.exit(main())
