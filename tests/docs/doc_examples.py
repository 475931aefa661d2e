#!/usr/bin/env python3
"""Compiles and runs every example of README.md, docs/*.md and docs/reference/*.md
against a build.

What a fenced block's info string (its first word) asks for:

- ```cpp     a complete C++23 program, compiled against the library and run;
- ```c       a complete C11 program, compiled against the library and run;
- ```python  a script run with the package of the build on PYTHONPATH;
  a cpp, c or python block followed directly (blank lines only) by a ```text
  block must print exactly that block on standard output, else only succeed;
- ```console `$ command` lines, each followed by its exact output (standard
  output and error together). A line holding only `...` stands for any number
  of lines. Commands run with bash (pipefail) in a scratch directory that holds
  links to the repository's top-level entries, with the build's vorl-plan
  first on PATH; `build/<preset>/` at the start of a command names the build
  under test. The exit status is not checked: the output is.
- an info string naming `file=NAME` (```text file=mapped-out.txt) writes the
  block into that scratch directory as NAME, for the console blocks after it
  on the same page;
- ```text and every other language are documentation only.

Usage: doc_examples.py SOURCE_DIR BUILD_DIR [PAGE...], the compilers and flags
in the environment (see `Build`). Exit status 0 when every example passes,
1 otherwise, with a report per failing block naming its page and line.
"""

from __future__ import annotations

import dataclasses
import os
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

FENCE = re.compile(r"^```(\S*)(.*)$")


@dataclasses.dataclass
class Block:
    page: Path
    line: int  # of the opening fence, from 1
    language: str
    options: dict[str, str]
    body: str
    expected: str | None = None  # stdout of the following ```text block


@dataclasses.dataclass
class Build:
    """Where the build under test lies and how a program is built against it."""

    source: Path
    binary: Path
    cxx: str = os.environ.get("DOCS_CXX", "c++")
    cc: str = os.environ.get("DOCS_CC", "cc")
    cxx_flags: list[str] = dataclasses.field(default_factory=lambda: shlex.split(os.environ.get("DOCS_CXX_FLAGS", "")))
    link_flags: list[str] = dataclasses.field(
        default_factory=lambda: shlex.split(os.environ.get("DOCS_LINK_FLAGS", ""))
    )
    library: str = os.environ.get("DOCS_LIBRARY", "")
    static: bool = os.environ.get("DOCS_STATIC", "1") == "1"
    python: str = os.environ.get("DOCS_PYTHON", "")  # empty: the package is not built
    tool_dir: str = os.environ.get("DOCS_TOOL_DIR", "")

    def includes(self) -> list[str]:
        flags = ["-I", str(self.source / "include"), "-I", str(self.binary / "include")]
        return flags + (["-DVORL_EXCHANGE_STATIC_DEFINE"] if self.static else [])

    def link(self) -> list[str]:
        library_dir = str(Path(self.library).parent)
        return [self.library, f"-Wl,-rpath,{library_dir}", *self.link_flags]


def blocks(page: Path) -> list[Block]:
    """The fenced blocks of a page, each ```text block attached to the code block right before it."""
    found: list[Block] = []
    lines = page.read_text().split("\n")
    index = 0
    last_end = -2  # line index of the previous block's closing fence
    while index < len(lines):
        opening = FENCE.match(lines[index])
        if not opening:
            index += 1
            continue
        start = index
        index += 1
        body: list[str] = []
        while index < len(lines) and lines[index] != "```":
            body.append(lines[index])
            index += 1
        if index == len(lines):
            raise SystemExit(f"{page}:{start + 1}: a code block is never closed")
        options = dict(re.findall(r"(\w+)=(\S+)", opening.group(2)))
        block = Block(page, start + 1, opening.group(1), options, "\n".join(body) + "\n" if body else "")
        between = lines[last_end + 1 : start]
        if (
            block.language == "text"
            and "file" not in options
            and found
            and found[-1].language in ("cpp", "c", "python")
            and found[-1].expected is None
            and all(not line.strip() for line in between)
        ):
            found[-1].expected = block.body
        else:
            found.append(block)
        last_end = index
        index += 1
    return found


def run(command: list[str], **kwargs) -> subprocess.CompletedProcess:
    return subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)


def check_program(block: Block, build: Build, scratch: Path) -> str | None:
    """A failure's report, or None."""
    name = f"example_{block.line}"
    if block.language == "python":
        if not build.python:
            return None
        environment = dict(os.environ, PYTHONPATH=str(build.binary / "python"), PYTHONDONTWRITEBYTECODE="1")
        result = run([build.python, "-c", block.body], cwd=scratch, env=environment)
    else:
        executable = scratch / name
        if block.language == "cpp":
            source = scratch / f"{name}.cpp"
            source.write_text(block.body)
            compile_steps = [
                [build.cxx, "-std=c++23", "-Wall", "-Wextra", "-Werror", *build.cxx_flags, *build.includes(),
                 str(source), "-o", str(executable), *build.link()]
            ]
        else:
            source = scratch / f"{name}.c"
            source.write_text(block.body)
            obj = scratch / f"{name}.o"
            compile_steps = [
                [build.cc, "-std=c11", "-Wall", "-Wextra", "-Werror", "-pedantic", *build.cxx_flags,
                 *build.includes(), "-c", str(source), "-o", str(obj)],
                # Linked by the C++ driver: a static library needs the C++ runtime.
                [build.cxx, *build.cxx_flags, str(obj), "-o", str(executable), *build.link()],
            ]
        for step in compile_steps:
            built = run(step)
            if built.returncode != 0:
                return f"does not build:\n$ {shlex.join(step)}\n{built.stdout}{built.stderr}"
        result = run([str(executable)], cwd=scratch)
    if result.returncode != 0:
        return f"exits with status {result.returncode}:\n{result.stdout}{result.stderr}"
    if block.expected is not None and result.stdout != block.expected:
        return f"prints\n{result.stdout}instead of\n{block.expected}"
    return None


def console_steps(body: str) -> list[tuple[str, list[str]]]:
    steps: list[tuple[str, list[str]]] = []
    for line in body.rstrip("\n").split("\n"):
        if line.startswith("$ "):
            steps.append((line[2:], []))
        elif not steps:
            raise ValueError("a console block starts with `$ command`")
        else:
            steps[-1][1].append(line)
    return steps


def matches(actual: list[str], expected: list[str]) -> bool:
    """Whether the lines match, `...` standing for any number of lines."""
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(actual[skip:], expected[1:]) for skip in range(len(actual) + 1))
    return bool(actual) and actual[0] == expected[0] and matches(actual[1:], expected[1:])


def check_console(block: Block, build: Build, scratch: Path) -> str | None:
    environment = dict(os.environ, PATH=f"{build.tool_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    for command, expected in console_steps(block.body):
        runnable = re.sub(r"^build/[\w-]+/", f"{build.binary}/", command)
        result = run(["bash", "-o", "pipefail", "-c", f"{runnable} 2>&1"], cwd=scratch, env=environment)
        actual = result.stdout.rstrip("\n").split("\n") if result.stdout else []
        if not matches(actual, expected):
            return f"$ {command}\nprints\n{result.stdout}instead of\n" + "\n".join(expected)
    return None


def scratch_directory(build: Build, root: Path, page: Path) -> Path:
    """A working directory per page, holding links to the repository's top-level entries."""
    scratch = Path(tempfile.mkdtemp(prefix=page.stem + "-", dir=root))
    for entry in build.source.iterdir():
        if entry.name not in ("build", ".git"):
            (scratch / entry.name).symlink_to(entry)
    return scratch


def main() -> int:
    source, binary = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    build = Build(source, binary)
    pages = [Path(page) for page in sys.argv[3:]] or [
        source / "README.md",
        *sorted((source / "docs").glob("*.md")),
        *sorted((source / "docs" / "reference").glob("*.md")),  # the API reference's main page
    ]
    failures = 0
    checked = 0
    work = binary / "doc_examples"
    work.mkdir(exist_ok=True)
    with tempfile.TemporaryDirectory(dir=work) as root:
        for page in pages:
            scratch = scratch_directory(build, Path(root), page)
            for block in blocks(page):
                if "file" in block.options:
                    (scratch / block.options["file"]).write_text(block.body)
                    continue
                if block.language in ("cpp", "c", "python"):
                    report = check_program(block, build, scratch)
                elif block.language == "console":
                    report = check_console(block, build, scratch)
                else:
                    continue
                checked += 1
                if report is not None:
                    failures += 1
                    where = page.relative_to(source) if page.is_relative_to(source) else page
                    print(f"{where}:{block.line}: the {block.language} example {report}\n")
    print(f"doc_examples: {checked} examples checked, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
