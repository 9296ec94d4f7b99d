#!/usr/bin/env bash
# Fails when a file under src/, libs/ or modules/ includes a header of a folder
# above its own layer, or when two folders include each other. Includes are
# by bare file name through the CMake include folders, so each quoted include
# is taken to the one folder of the tree that holds a file of that name (the
# including file's own folder first, as the compiler looks there first); a
# name that several other folders hold is an error of its own. Names the tree
# does not hold (Qt's generated files, configured files) are left out.
# Give another root to check that tree instead.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
exec python3 - "$root" <<'PYTHON'
import os
import re
import sys

# Top to bottom: a folder includes only its own headers and those of the
# layers below it. A table entry holds its sub-folders; those lie below the
# folder that holds them and beside each other. Entries of one layer are
# peers: neither includes the other. The crypto module's chain lies above the
# host's windows: its consent dialog shows the branding and asks through the
# one prompt queue of the process, while the host's windows never reach into
# a module. The crypto plug-in's root object binds its layers from above.
LAYERS = [
    ["src"],
    ["modules/crypto"],
    ["modules/crypto/ui"],
    ["modules/crypto/src"],
    ["modules/crypto/pkcs11"],
    ["libs/ui"],
    ["libs/ui/prompt", "libs/ui/branding"],
    ["modules/ws/src", "modules/nmh/src", "modules/system/src"],
    ["libs/session/src"],
    ["libs/session/src/dispatch"],
    ["libs/session/src/transfer"],
    ["libs/shared/modules"],
    ["libs/shared/src"],
]
# The session and its loader belong to the host: modules reach it through the
# host services of the module contract only.
HOST_ONLY = {"libs/session/src": "modules"}

CHECKED = ("src", "libs", "modules")
SOURCE = re.compile(r"\.(h|hpp|c|cc|cpp|inl)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def rank_table():
    ranks = {}
    for rank, entries in enumerate(LAYERS):
        for entry in entries:
            ranks[entry] = rank
    return ranks


RANKS = rank_table()


def entry_of(folder):
    """The longest table entry that holds folder, or None."""
    best = None
    for entry in RANKS:
        if (folder == entry or folder.startswith(entry + "/")) and (
            best is None or len(entry) > len(best)
        ):
            best = entry
    return best


def within(folder, ancestor):
    return folder.startswith(ancestor + "/")


def scan(root):
    """The folders that hold each file name, and the quoted includes."""
    holders = {}
    includes = []
    for top in CHECKED:
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            relative = os.path.relpath(folder, root).replace(os.sep, "/")
            for name in sorted(files):
                holders.setdefault(name, set()).add(relative)
                if not SOURCE.search(name):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if match:
                            includes.append((relative, name, number, match.group(1)))
    return holders, includes


def resolve(holders, folder, included):
    """The folder the include reaches: a folder, None (not in the tree), or a set."""
    directory, _, name = included.rpartition("/")
    found = {h for h in holders.get(name, ()) if not directory or h.endswith("/" + directory)}
    if not found:
        return None
    if folder in found or len(found) == 1:
        return folder if folder in found else next(iter(found))
    return found


def arrow_problem(source, target):
    """Why source may not include target; None when it may."""
    source_entry, target_entry = entry_of(source), entry_of(target)
    if source_entry is None:
        return f"{source} has no layer"
    if target_entry is None:
        return f"{target} has no layer"
    for host_only, outsider in HOST_ONLY.items():
        if target_entry == host_only and (source == outsider or within(source, outsider)):
            return f"{target} belongs to the host, not to {outsider}/"
    if source_entry == target_entry:
        if within(target, source):
            return None
        return f"{target} lies above or beside {source} in {source_entry}"
    source_rank, target_rank = RANKS[source_entry], RANKS[target_entry]
    if target_rank > source_rank:
        return None
    if target_rank == source_rank:
        return f"{source_entry} and {target_entry} are peers (layer {source_rank})"
    return f"arrow up: {target_entry} (layer {target_rank}) lies above {source_entry} (layer {source_rank})"


def main(root):
    holders, includes = scan(root)
    problems = []
    edges = {}
    for folder, name, number, included in includes:
        where = f"{folder}/{name}:{number}: \"{included}\""
        target = resolve(holders, folder, included)
        if target is None or target == folder:
            continue
        if isinstance(target, set):
            problems.append(f"{where}: ambiguous, held by {', '.join(sorted(target))}")
            continue
        edges.setdefault((folder, target), where)
        problem = arrow_problem(folder, target)
        if problem:
            problems.append(f"{where} from {target}: {problem}")
    for (source, target), where in sorted(edges.items()):
        back = edges.get((target, source))
        if back and source < target:
            problems.append(f"{source} and {target} include each other: {where} and {back}")
    for problem in problems:
        print(problem)
    print(f"layering: {len(problems)} violation(s) in {len(includes)} includes", file=sys.stderr)
    return 1 if problems else 0


sys.exit(main(sys.argv[1]))
PYTHON
