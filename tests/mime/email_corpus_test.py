#!/usr/bin/env python3
"""The email test messages of Python's standard library read by our reader
(quorvel parse) and by Python's email package (policy default): for each
message the body text and the attachment bytes must agree, except for the
messages listed in DISAGREEMENTS, each with its reason, which must differ.
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
NESTED = ("a nested multipart reuses its parent's boundary, which the MIME rules "
          "forbid; no reading is the right one")
NO_SEPARATOR = ("the header block ends without a blank line; Python ends it at the "
                "first line that is not a field, we read fields up to the blank line")
WHOLE = ("a message/delivery-status or message/external-body part is kept whole as "
         "one attachment; Python splits it into its header blocks")
DISAGREEMENTS = dict.fromkeys(["msg_15.txt", "msg_38.txt", "msg_39.txt"], NESTED)
DISAGREEMENTS.update(dict.fromkeys(["msg_19.txt", "msg_35.txt"], NO_SEPARATOR))
DISAGREEMENTS.update(dict.fromkeys(["msg_16.txt", "msg_36.txt", "msg_43.txt"], WHOLE))
DISAGREEMENTS["msg_42.txt"] = ("an enclosed message whose multipart has no body part at "
                               "all: we keep its closing line as text, Python an empty payload")


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
    attachments = []
    while os.path.exists("%s_%d.att" % (mes[:-4], len(attachments) + 1)):
        attachments.append(open("%s_%d.att" % (mes[:-4], len(attachments) + 1), "rb").read())
    return body.replace("\r\n", "\n").rstrip("\n"), attachments


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
    print("%d of %d messages agree; %d listed disagreements" % (agreed, len(paths), len(DISAGREEMENTS)))
    for failure in failures:
        print("DIFFERS " + failure)
    return 1 if failures else 0


sys.exit(main())
