#!/usr/bin/env python3
"""Fails when a file of the crypto module includes a header of a layer above
its own (dialogs over methods over the token layer, the plug-in on top) or
the host's session, which a module never sees."""
import glob
import os
import re
import sys

root = sys.argv[1]
crypto = os.path.join(root, "modules", "crypto")
# Each folder, and the folders whose headers it must not include.
layers = [("pkcs11", ["src", "ui", "."]), ("src", ["ui", "."]), ("ui", ["."])]
session = [os.path.join(root, "libs", "session", "src"),
           os.path.join(root, "libs", "session", "src", "dispatch")]


def headers(folder):
    return {os.path.basename(path) for path in glob.glob(os.path.join(folder, "*.h"))}


failures = []
for folder, above in layers + [(".", [])]:
    own = headers(os.path.join(crypto, folder))
    forbidden = set().union(*(headers(os.path.join(crypto, up)) for up in above)) - own
    forbidden |= set().union(*(headers(path) for path in session)) - own
    for path in glob.glob(os.path.join(crypto, folder, "*.[ch]*")):
        with open(path, encoding="utf-8") as source:
            for header in re.findall(r'^#include "([^"]+)"', source.read(), re.M):
                if header in forbidden:
                    failures.append(f"{os.path.relpath(path, root)} includes {header}")
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
