#!/usr/bin/env python3
"""Lists the longest function bodies of C++ sources formatted with the project's .clang-format.

A function is a definition at namespace level: its signature starts in column 0, and its body runs from the
line that opens it to the first line holding only a closing brace in column 0. Lines are counted from the
signature's first line to the closing brace, both included.

usage: tools/function-lengths.py [--most N] PATH...   (folders are searched for .cpp and .hpp files)
"""
import argparse
import pathlib
import re
import statistics

NOT_FUNCTIONS = re.compile(r"^(namespace|class|struct|enum|union|extern|template\s*<[^>]*>\s*(class|struct))\b")


def functions(path):
    lines = path.read_text(errors="replace").splitlines()
    start = None
    for number, line in enumerate(lines):
        if start is None:
            if line[:1].strip() and not line.startswith(("#", "//", "}", "{")) and not NOT_FUNCTIONS.match(line):
                start = number
            else:
                continue
        if line.startswith((" ", "\t")) and start == number:
            start = None
            continue
        signature = " ".join(lines[start : number + 1])
        if signature.rstrip().endswith(";"):
            start = None
            continue
        if line.rstrip().endswith("{") and "(" in signature:
            end = number + 1
            while end < len(lines) and not re.match(r"^\}[;]?\s*(//.*)?$", lines[end]):
                end += 1
            name = re.search(r"([\w:~]+(?:operator\S*)?)\s*\(", signature)
            yield (end - start + 1, f"{path}:{start + 1}", name.group(1) if name else "?")
            start = None
        elif line.rstrip().endswith(("}", "};")) and "{" in line:
            start = None  # one-line definition or initialiser


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--most", type=int, default=10)
    parser.add_argument("paths", nargs="+")
    arguments = parser.parse_args()
    files = []
    for path in map(pathlib.Path, arguments.paths):
        files += sorted(path.rglob("*.[ch]pp")) if path.is_dir() else [path]
    found = sorted((f for file in files for f in functions(file)), reverse=True)
    if not found:
        return
    sizes = [size for size, _, _ in found]
    print(f"{len(found)} functions, median {statistics.median(sizes)} lines, "
          f"{sum(size > 40 for size in sizes)} over 40 lines")
    for size, place, name in found[: arguments.most]:
        print(f"{size:5} {name}  {place}")


if __name__ == "__main__":
    main()
