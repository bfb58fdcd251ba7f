#!/usr/bin/env python3
"""Writes NAME.expected for each message NAME.eml of tests/data/charsets as
Python's email package and codecs read it: a "Subject: " line, an
"Attachment: " line per attachment, an empty line, then the text.
Usage: tests/generators/make-charset-cases.py"""
import email
import email.header
import email.policy
import pathlib

# Labels that Python's codecs do not know, or read otherwise, as the mail
# programs that write them mean them (ks_c_5601-1987: code page 949, which
# holds syllables that EUC-KR lacks).
MEANT = {"x-sjis": "cp932", "x-gbk": "gbk", "iso-8859-8-i": "iso8859_8",
         "ks_c_5601-1987": "cp949"}


def text(data, label):
    """Without a label, or with one nobody knows, valid UTF-8 is UTF-8 and
    anything else Windows-1252."""
    for codec in (MEANT.get(str(label).lower(), label), "utf-8", "cp1252"):
        try:
            return data.decode(codec)
        except (LookupError, TypeError, UnicodeDecodeError):
            pass


def expected(raw):
    message = email.message_from_bytes(raw, policy=email.policy.compat32)
    subject = "".join(text(data if isinstance(data, bytes) else data.encode("latin-1"), label)
                      for data, label in email.header.decode_header(message["Subject"]))
    parts = list(message.walk())
    names = [email.message_from_bytes(part.as_bytes(), policy=email.policy.default)
             .get_filename() for part in parts if part.get_content_disposition() == "attachment"]
    body = next(part for part in parts if part.get_content_maintype() == "text")
    content = text(body.get_payload(decode=True), body.get_content_charset())
    lines = [f"Subject: {subject}"] + [f"Attachment: {name}" for name in names]
    return "\n".join(lines + ["", content.removesuffix("\r\n")]).encode()


CASES = pathlib.Path(__file__).resolve().parent.parent / "data" / "charsets"
for eml in sorted(CASES.glob("*.eml")):
    eml.with_suffix(".expected").write_bytes(expected(eml.read_bytes()))
