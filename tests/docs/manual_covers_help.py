#!/usr/bin/env python3
"""Fails when `vorl-plan --help`, or a subcommand's, names a subcommand or an
option that the manual page's source does not; and, given the page as built,
when `man -l PAGE | col -b` shows Markdown or roff markup that the conversion
left as it was (`@*FILE*`, `**`, backticks, escapes, links), or when the page
names a path of the source tree, which an installed tool does not have.

Usage: manual_covers_help.py VORL_PLAN MANUAL_SOURCE [BUILT_PAGE]
"""

from __future__ import annotations

import os
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


# Markup a reader should never see on the rendered page: an asterisk or
# backtick against a word (emphasis or code that was not converted), a Markdown
# escape or link, or a roff font escape.
STRAY_MARKUP = re.compile(r"\S\*|\*\S|`|\\[*@\[\]_#`]|\\f[\[(BIRP]|\]\(|\{#")
# A path inside the repository ("tests/data/...", "docs/cli.md"): an example or
# a reference that works in a checkout only.
SOURCE_TREE_PATH = re.compile(r"(?<![\w/.-])(tests|docs|build|schemas|examples|tools)/")


def rendered_findings(page: Path) -> list[str]:
    """What is wrong with the page as `man` shows it."""
    environment = dict(os.environ, MANWIDTH="100", LC_ALL="C.UTF-8")
    shown = subprocess.run(["man", "-l", str(page)], capture_output=True, text=True, timeout=60, env=environment)
    if shown.returncode != 0 or not shown.stdout.strip():
        return [f"man -l {page} fails ({shown.returncode}): {shown.stderr.strip()}"]
    plain = subprocess.run(["col", "-b"], input=shown.stdout, capture_output=True, text=True, timeout=60).stdout
    findings: list[str] = []
    for number, line in enumerate(plain.splitlines(), start=1):
        if STRAY_MARKUP.search(line):
            findings.append(f"shows markup on line {number}: {line.strip()}")
        if SOURCE_TREE_PATH.search(line):
            findings.append(f"names a path of the source tree on line {number}: {line.strip()}")
    return findings


def main() -> int:
    tool, manual = sys.argv[1], Path(sys.argv[2])
    built = Path(sys.argv[3]) if len(sys.argv) > 3 else None
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
    shown = rendered_findings(built) if built else []
    for entry in shown:
        print(f"{built.name} {entry}")
    return 1 if missing or shown else 0


if __name__ == "__main__":
    sys.exit(main())
