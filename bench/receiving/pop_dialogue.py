#!/usr/bin/env python3
"""What the POP3 dialogue alone costs against one server: Python's poplib
fetches the waiting messages (at most COUNT) over one connection twice, once
as `quorvel receive` asks for each (LIST n, RETR n, DELE n) and once as curl
does (RETR n only), writing nothing; RSET then keeps them on the server.
Prints "receive-dialogue OURS REFERENCE" in messages per second.
Usage: pop_dialogue.py PORT USER PASSWORD COUNT"""
import poplib
import sys
import time

port, user, password, most = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])


def rate(commands):
    pop = poplib.POP3("127.0.0.1", port)
    pop.user(user)
    pop.pass_(password)
    count = min(len(pop.list()[1]), most)
    start = time.perf_counter()
    for number in range(1, count + 1):
        if "LIST" in commands:
            pop.list(number)
        pop.retr(number)
        if "DELE" in commands:
            pop.dele(number)
    took = time.perf_counter() - start
    pop.rset()
    pop.quit()
    return count / took


reference = rate(["RETR"])
ours = rate(["LIST", "RETR", "DELE"])
print(f"receive-dialogue {ours:.6g} {reference:.6g}")
