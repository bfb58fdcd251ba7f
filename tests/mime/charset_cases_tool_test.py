#!/usr/bin/env python3
"""The charset cases of tests/data/charsets read by the tool (quorvel parse,
which stores the record as a host gets it): the record's subject, text and
attachment names must be the UTF-8 texts of <case>.expected.
Usage: charset_cases_tool_test.py QUORVEL_TOOL CASES_DIRECTORY"""
import glob
import os
import subprocess
import sys
import tempfile


def record_fields(mes):
    text = open(mes, "rb").read().decode("utf-8")
    subject = text.split("#Subject : ", 1)[1].split("\r\n", 1)[0]
    body = text.split("#Message : ", 1)[1].rsplit("\r\n#BodyType : ", 1)[0]
    names = text.split("#Attachments : ", 1)[1].split("\r\n", 1)[0] if "#Attachments : " in text else ""
    lines = "Subject: %s\n" % subject
    lines += "".join("Attachment: %s\n" % name for name in names.split(",") if name)
    return lines + "\n" + body


def main():
    tool, cases = sys.argv[1], sys.argv[2]
    failures = []
    paths = sorted(glob.glob(os.path.join(cases, "*.eml")))
    with tempfile.TemporaryDirectory() as work:
        for path in paths:
            name = os.path.basename(path)[:-4]
            out = os.path.join(work, name)
            os.mkdir(out)
            subprocess.run([tool, "parse", path, "--to", out], check=True, capture_output=True)
            got = record_fields(glob.glob(out + "/*.mes")[0])
            wanted = open(os.path.join(cases, name + ".expected"), "rb").read().decode("utf-8")
            if got != wanted:
                failures.append("%s: %r != %r" % (name, got, wanted))
    print("%d of %d cases read right" % (len(paths) - len(failures), len(paths)))
    for failure in failures:
        print("DIFFERS " + failure)
    return 1 if failures or len(paths) < 45 else 0


sys.exit(main())
