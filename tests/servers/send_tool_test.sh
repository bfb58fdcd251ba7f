#!/usr/bin/env bash
# quorvel send delivers a German message with two attachments to the run's
# Postfix; Python's email package then reads it from the recipient's Maildir:
# subject, text and file names must be the ones sent, the attachments the
# files sent.
# Usage: send_tool_test.sh QUORVEL_TOOL STATE_FILE PYTHON3
set -euo pipefail
tool=$1
state=$2
python=$3
# shellcheck disable=SC1090
. "$state"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

token="tool-$RANDOM$RANDOM"
printf 'Grüße, %s\r\n.a line with a leading dot\r\n' "$token" >"$work/german.txt"
head -c 30000 /dev/urandom >"$work/Übung 1.pdf"
printf 'short' >"$work/notes.txt"
"$tool" send --smtp "127.0.0.1:$QUORVEL_SMTP_PORT" --from "pupil@$QUORVEL_MAIL_DOMAIN" \
  --to "tutor@$QUORVEL_MAIL_DOMAIN" --subject "Übung für Schüler" --body-file "$work/german.txt" \
  --attach "$work/Übung 1.pdf" --attach "$work/notes.txt" >"$work/said.txt"
grep -qx "sent to tutor@$QUORVEL_MAIL_DOMAIN" "$work/said.txt"

"$python" - "$QUORVEL_MAILDIR_ROOT/tutor" "$token" "$work" <<'PY'
import email, glob, os, sys, time
from email import policy
maildir, token, work = sys.argv[1:4]
deadline = time.time() + 10
found = None
while found is None and time.time() < deadline:
    for path in glob.glob(maildir + "/new/*") + glob.glob(maildir + "/cur/*"):
        data = open(path, "rb").read()
        if token.encode() in data:
            found = data
    time.sleep(0.01)
assert found is not None, "the message did not arrive"
message = email.message_from_bytes(found, policy=policy.default)
assert message["Subject"] == "Übung für Schüler", message["Subject"]
parts = list(message.iter_parts())
text = parts[0].get_content().replace("\r\n", "\n")
assert text == "Grüße, %s\n.a line with a leading dot\n" % token, repr(text)
names = [part.get_filename() for part in parts[1:]]
assert names == ["Übung 1.pdf", "notes.txt"], names
for part in parts[1:]:
    assert part.get_payload(decode=True) == open(os.path.join(work, part.get_filename()), "rb").read()
print("delivered and read back:", names)
PY
