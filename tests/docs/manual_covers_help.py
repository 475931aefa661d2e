#!/usr/bin/env python3
"""Fails when `vorl-plan --help`, or a subcommand's, names a subcommand or an
option that the manual page's source does not.

Usage: manual_covers_help.py VORL_PLAN MANUAL_SOURCE
"""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path


def help_text(tool: str, path: list[str]) -> str:
    result = subprocess.run([tool, *path, "--help"], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise SystemExit(f"{' '.join(['vorl-plan', *path, '--help'])} exits with status {result.returncode}")
    return result.stdout


def subcommands(text: str) -> list[str]:
    """The names listed under the help's `Subcommands:` heading."""
    listed = re.search(r"^Subcommands:\n((?:  \S.*\n)+)", text, re.M)
    return [line.split()[0] for line in listed.group(1).splitlines()] if listed else []


def main() -> int:
    tool, manual = sys.argv[1], Path(sys.argv[2])
    # The page's words without Markdown emphasis, so that **check** **p2p** reads as "check p2p".
    page = re.sub(r"[*\\]", "", manual.read_text())
    missing: list[str] = []
    pending: list[list[str]] = [[]]
    while pending:
        path = pending.pop()
        text = help_text(tool, path)
        command = " ".join(["vorl-plan", *path])
        if path and command not in page:
            missing.append(f"the subcommand `{command}`")
        for option in sorted(set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", text))):
            if not re.search(rf"(?<![\w-]){re.escape(option)}(?![\w-])", page):
                missing.append(f"the option `{option}` of `{command}`")
        pending.extend([*path, name] for name in subcommands(text))
    for entry in missing:
        print(f"{manual.name} lacks {entry}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
