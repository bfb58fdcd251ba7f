#!/usr/bin/env python3
"""Runs scripts/check-rooms over a copy of src/: the tree as it is passes; each include planted
from CASES_FILE passes or fails as its line says, naming the planted file when it fails.
Usage: check_rooms_test.py CHECK_ROOMS GRAPH_FILE SRC_DIR CASES_FILE"""
import os
import shutil
import subprocess
import sys
import tempfile


def run(check, graph, src):
    done = subprocess.run([sys.executable, check, graph, src], capture_output=True, text=True)
    return done.returncode, done.stderr


def main(check, graph, src, cases):
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        tree = os.path.join(scratch, "src")
        shutil.copytree(src, tree)
        code, said = run(check, graph, tree)
        if code != 0:
            failures.append(f"the tree itself fails the check:\n{said}")
        lines = [line for line in open(cases, encoding="utf-8")
                 if line.strip() and not line.startswith("#")]
        for index, line in enumerate(lines):
            name, included, expected = (field.strip() for field in line.split("|"))
            path = os.path.join(tree, name)
            kept = open(path, encoding="utf-8").read() if os.path.exists(path) else None
            top = name.split("/")[0]
            # A new folder is reported as such; a planted include by its file.
            named = "src/" + top if not os.path.exists(os.path.join(tree, top)) else name
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "a", encoding="utf-8") as planted:
                # Every other case in the indented form a compiler also reads.
                form = "#include" if index % 2 == 0 else "  #  include"
                planted.write(f'{form} "{included}"\n')
            code, said = run(check, graph, tree)
            if expected == "pass" and code != 0:
                failures.append(f"{name} including {included} should pass:\n{said}")
            if expected == "fail" and (code != 1 or named not in said):
                failures.append(f"{name} including {included} should fail naming it "
                                f"(exit {code}):\n{said}")
            if kept is None:
                shutil.rmtree(os.path.join(tree, top))
            else:
                with open(path, "w", encoding="utf-8") as restored:
                    restored.write(kept)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
