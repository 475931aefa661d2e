#!/usr/bin/env python3
"""Reads the API reference as doxygen's XML output and fails where a reader
would be let down, which doxygen's own warnings do not catch:

- a public class, struct, type, function, variable, macro, enumeration or
  enumerator without a summary (brief description);
- a summary that is a section banner (a run of dashes, or an em dash that
  doxygen made of one) instead of a sentence;
- a summary cut short: one that ends in "e.g." or "i.e." (doxygen ends the
  summary at the first full stop followed by a space, so "The debug form,
  e.g. ..." shows as "The debug form, e.g."), or that does not end in a full
  stop at all;
- a banner anywhere in a description, glued onto the thing after it;
- a main page that is empty, or that does not link to the three planners of
  the C++ and the C interface.

Usage:
  reference_briefs.py XML_DIR
  reference_briefs.py --doxygen DOXYGEN --doxyfile DOXYFILE
      (runs doxygen on DOXYFILE into a scratch directory, XML only, and reads that)

Exit status 0 when the reference passes, 1 with one line per finding otherwise.
"""

from __future__ import annotations

import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

# Compound kinds whose own summary a reader sees in the lists; pages, groups and
# directories carry titles instead.
DOCUMENTED_COMPOUNDS = {"class", "struct", "union", "namespace", "file"}
# Member kinds a user calls or names.
DOCUMENTED_MEMBERS = {"function", "typedef", "enum", "variable", "define", "friend"}

# What doxygen writes for the typographic marks it makes of dashes and quotes.
MARKS = {"mdash": "\u2014", "ndash": "\u2013", "nonbreakablespace": " ", "linebreak": " "}

BANNER = re.compile(r"-{3,}|[\u2014\u2013]\s*[-\u2014\u2013]|^\s*[\u2014\u2013]|[\u2014\u2013]\s*$")
CUT_ABBREVIATION = re.compile(r"\b(e\.g|i\.e|etc|cf|vs)\.$")

# The planners the main page must link to: C++ members of Topology, and C functions.
PLANNERS = {
    "Topology::point_to_point",
    "Topology::multicast",
    "Topology::paired_multicast",
    "vx_point_to_point",
    "vx_multicast",
    "vx_paired_multicast",
}


def text_of(element: ET.Element | None) -> str:
    """The element's text as a reader sees it, white space collapsed."""
    if element is None:
        return ""
    parts: list[str] = []

    def walk(node: ET.Element) -> None:
        if node.tag in MARKS:
            parts.append(MARKS[node.tag])
        if node.text:
            parts.append(node.text)
        for child in node:
            walk(child)
            if child.tail:
                parts.append(child.tail)

    walk(element)
    return " ".join("".join(parts).split())


def brief_findings(brief: str) -> list[str]:
    if not brief:
        return ["has no summary"]
    if BANNER.search(brief):
        return [f'has a banner for a summary: "{brief}"']
    if CUT_ABBREVIATION.search(brief):
        return [f'has a summary cut short at an abbreviation: "{brief}"']
    if not brief.endswith((".", "!", "?")):
        return [f'has a summary that is no whole sentence (no full stop): "{brief}"']
    return []


def description_findings(detail: str) -> list[str]:
    if BANNER.search(detail):
        return [f'has a banner in its description: "{detail[:80]}"']
    return []


class Reference:
    def __init__(self, xml_dir: Path) -> None:
        self.xml_dir = xml_dir
        self.findings: list[str] = []
        self.seen: set[str] = set()
        # member id -> qualified name, for the main page's links
        self.names: dict[str, str] = {}

    def report(self, where: str, findings: list[str]) -> None:
        self.findings.extend(f"{where} {finding}" for finding in findings)

    def check_member(self, scope: str, member: ET.Element) -> None:
        identifier = member.get("id", "")
        name = member.findtext("name", "")
        qualified = f"{scope}::{name}" if scope else name
        self.names[identifier] = qualified
        if identifier in self.seen:
            return
        self.seen.add(identifier)
        if member.get("prot", "public") != "public" or member.get("kind") not in DOCUMENTED_MEMBERS:
            return
        where = f"{member.get('kind')} {qualified}"
        self.report(where, brief_findings(text_of(member.find("briefdescription"))))
        self.report(where, description_findings(text_of(member.find("detaileddescription"))))
        for value in member.findall("enumvalue"):
            value_where = f"enumerator {qualified}::{value.findtext('name', '')}"
            self.report(value_where, brief_findings(text_of(value.find("briefdescription"))))

    def check_compound(self, path: Path) -> None:
        compound = ET.parse(path).getroot().find("compounddef")
        if compound is None:
            return
        kind = compound.get("kind")
        name = compound.findtext("compoundname", "")
        # Members of a file or a group are named by their namespace when they have one.
        scope = name if kind in ("class", "struct", "union", "namespace") else ""
        # A Markdown page is a file to doxygen too; only headers are read for summaries.
        header = kind != "file" or name.endswith((".h", ".hpp"))
        if kind in DOCUMENTED_COMPOUNDS and header and compound.get("prot", "public") == "public":
            where = f"{kind} {name}"
            self.report(where, brief_findings(text_of(compound.find("briefdescription"))))
            self.report(where, description_findings(text_of(compound.find("detaileddescription"))))
        if kind == "group":
            title = compound.findtext("title", "").strip()
            if not title or BANNER.search(title):
                self.findings.append(f'group {name} has no readable title: "{title}"')
        for member in compound.iter("memberdef"):
            self.check_member(scope, member)

    def check_main_page(self) -> None:
        page = self.xml_dir / "indexpage.xml"
        if not page.exists():
            self.findings.append("the reference has no main page")
            return
        body = ET.parse(page).getroot().find("compounddef/detaileddescription")
        words = len(text_of(body).split())
        if words < 100:
            self.findings.append(f"the main page is empty or nearly so ({words} words)")
            return
        linked = {self.names.get(ref.get("refid", ""), "") for ref in body.iter("ref")}
        for planner in sorted(PLANNERS):
            if not any(name == planner or name.endswith("::" + planner) for name in linked):
                self.findings.append(f"the main page does not link to {planner}")

    def check(self) -> list[str]:
        index = ET.parse(self.xml_dir / "index.xml").getroot()
        # Classes and namespaces first, so that members are named by their scope.
        order = {"class": 0, "struct": 0, "union": 0, "namespace": 1}
        compounds = sorted(index.findall("compound"), key=lambda c: order.get(c.get("kind", ""), 2))
        for compound in compounds:
            path = self.xml_dir / f"{compound.get('refid')}.xml"
            if path.exists():
                self.check_compound(path)
        self.check_main_page()
        return self.findings


def xml_from_doxygen(doxygen: str, doxyfile: Path, scratch: Path) -> Path:
    """Runs doxygen on the project's configuration, writing only XML into `scratch`."""
    overrides = f"\nOUTPUT_DIRECTORY = {scratch}\nGENERATE_HTML = NO\nGENERATE_XML = YES\nXML_OUTPUT = xml\n"
    configuration = doxyfile.read_text() + overrides
    result = subprocess.run([doxygen, "-"], input=configuration, capture_output=True, text=True,
                            cwd=doxyfile.parent, timeout=300)
    if result.returncode != 0:
        raise SystemExit(f"doxygen failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return scratch / "xml"


def main(arguments: list[str]) -> int:
    if len(arguments) == 4 and arguments[0] == "--doxygen" and arguments[2] == "--doxyfile":
        with tempfile.TemporaryDirectory(prefix="reference-") as scratch:
            findings = Reference(xml_from_doxygen(arguments[1], Path(arguments[3]), Path(scratch))).check()
    elif len(arguments) == 1:
        findings = Reference(Path(arguments[0])).check()
    else:
        raise SystemExit(__doc__)
    for finding in findings:
        print(finding)
    print(f"reference_briefs: {len(findings)} finding(s)")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
