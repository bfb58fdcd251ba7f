#!/usr/bin/env python3
"""The identity provider's stand-in for the test mail servers: an OAuth 2
token-introspection endpoint (RFC 7662) on loopback, which Dovecot's oauth2
password database asks whether a bearer token is good and whose it is.

    oauth-introspection.py TOKENS_FILE PORT_FILE

TOKENS_FILE holds one token a line, "TOKEN USER STATE" with STATE "active" or
anything else (expired, revoked); it is read again for every request, so a
test changes what the provider answers by rewriting it. The server listens on
a free port of 127.0.0.1 and writes that port into PORT_FILE once it listens.
A POST of "token=TOKEN" answers {"active": true, "username": USER} for an
active token and {"active": false} for any other."""
import http.server
import json
import os
import sys
import urllib.parse

tokens_file, port_file = sys.argv[1], sys.argv[2]


def lookup(token):
    try:
        with open(tokens_file, encoding="utf-8") as f:
            for line in f:
                fields = line.split()
                if len(fields) == 3 and fields[0] == token:
                    return fields[1], fields[2] == "active"
    except OSError:
        pass
    return None, False


class Introspection(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        form = urllib.parse.parse_qs(self.rfile.read(length).decode("ascii", "replace"))
        user, active = lookup((form.get("token") or [""])[0])
        answer = {"active": True, "username": user} if active else {"active": False}
        body = json.dumps(answer).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Introspection)
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".new", port_file)
server.serve_forever()
