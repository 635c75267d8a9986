"""Shared by the generators: the command line of a script that writes one
committed source file, or with --check compares it byte for byte."""

import argparse
import pathlib
import sys


def write_or_check(description, relative_path, text):
    """Writes `text` to `relative_path` (from the top of the tree), or with
    --check reports whether the committed file is exactly `text`. Returns the
    exit status."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed file instead of writing it")
    args = parser.parse_args()
    target = pathlib.Path(__file__).resolve().parent.parent / relative_path
    if args.check:
        if not target.exists() or target.read_text() != text:
            print(f"{target} differs from what its generator writes", file=sys.stderr)
            return 1
        print(f"{target} is up to date")
        return 0
    target.write_text(text)
    print(f"wrote {target}")
    return 0
