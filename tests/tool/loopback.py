"""Servers on loopback for the tool's tests: each serves its connections one after the other."""
import itertools
import socket
import threading

recipients, messages = [], []  # every RCPT address and every message's data that smtp took


def serve(greeting, answer=None):
    """A server for any number of connections: it sends `greeting` (None: it
    never answers and reads until the client gives up), then, with `answer`,
    answers each line by `answer(connection, line, lines)` until QUIT. Answers
    the port."""
    listener = socket.create_server(("127.0.0.1", 0))

    def run():
        while True:
            connection, _ = listener.accept()
            with connection, connection.makefile("rb") as lines:
                try:
                    if greeting is None:
                        lines.read()
                        continue
                    connection.sendall(greeting)
                    for line in lines if answer else ():
                        connection.sendall(answer(connection, line, lines))
                        if line[:4].upper() == b"QUIT":
                            break
                except OSError:  # the client has gone
                    pass
    threading.Thread(target=run, daemon=True).start()
    return listener.getsockname()[1]


def smtp(connection, line, lines):
    """Takes every message into `messages` and every recipient into
    `recipients`; refuses nobody@."""
    verb = line[:4].upper()
    if verb == b"RCPT" and b"<nobody@" in line:
        return b"550 no such user\r\n"
    if verb == b"RCPT":
        recipients.append(line[line.index(b"<") + 1:line.index(b">")].decode())
    if verb == b"DATA":
        connection.sendall(b"354 go on\r\n")
        messages.append(b"".join(itertools.takewhile(lambda data: data != b".\r\n", lines)))
        return b"250 queued\r\n"
    return b"221 bye\r\n" if verb == b"QUIT" else b"250 ok\r\n"
