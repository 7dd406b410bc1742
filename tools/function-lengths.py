#!/usr/bin/env python3
"""Lists the longest function bodies of C++ sources, as Universal Ctags finds them.

A function is every definition ctags reports as one (free functions, member functions defined in or out of
their class, constructors); lambdas count as part of the function they are written in. Lines are counted
from the definition's first line to its closing brace, both included (ctags' line and end fields).

usage: tools/function-lengths.py [--most N] PATH...   (folders are searched for .cpp and .hpp files)
"""
import argparse
import json
import pathlib
import shutil
import statistics
import subprocess
import sys


def functions(files):
    ctags = shutil.which("ctags-universal") or shutil.which("ctags")
    if ctags is None:
        sys.exit("function-lengths: needs Universal Ctags (package universal-ctags)")
    output = subprocess.run(
        [ctags, "--output-format=json", "--fields=+ne", "--kinds-C++=f", "--language-force=C++", "-o", "-"]
        + [str(file) for file in files],
        check=True, capture_output=True, text=True).stdout
    for line in output.splitlines():
        tag = json.loads(line)
        if tag.get("_type") != "tag" or "end" not in tag or tag["name"].startswith("__anon"):
            continue
        scope = tag.get("scope", "")
        name = f"{scope.rsplit('::', 1)[-1]}::{tag['name']}" if tag.get("scopeKind") in ("class", "struct") \
            else tag["name"]
        yield (tag["end"] - tag["line"] + 1, f"{tag['path']}:{tag['line']}", name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--most", type=int, default=10)
    parser.add_argument("paths", nargs="+")
    arguments = parser.parse_args()
    files = []
    for path in map(pathlib.Path, arguments.paths):
        files += sorted(path.rglob("*.[ch]pp")) if path.is_dir() else [path]
    found = sorted(functions(files), reverse=True)
    if not found:
        return
    sizes = [size for size, _, _ in found]
    print(f"{len(found)} functions, median {statistics.median(sizes)} lines, "
          f"{sum(size > 40 for size in sizes)} over 40 lines")
    for size, place, name in found[: arguments.most]:
        print(f"{size:5} {name}  {place}")


if __name__ == "__main__":
    main()
