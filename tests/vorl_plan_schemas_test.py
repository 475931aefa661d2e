"""Every JSON document vorl-plan reads or writes against its published schema.

The schemas are strict (no unknown keys, every key required that the tool always
writes), so a key renamed in the tool and not in its schema fails here.
"""

from __future__ import annotations

import json
import os
import pathlib
import subprocess

import pytest
from jsonschema import Draft202012Validator, ValidationError, validators

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[1]
SCHEMA_DIR = pathlib.Path(os.environ.get("VORL_SCHEMA_DIR", SOURCE_DIR / "schemas"))
DATA_DIR = pathlib.Path(os.environ.get("VORL_TEST_DATA_DIR", SOURCE_DIR / "tests" / "data"))
VORL_PLAN = os.environ.get("VORL_PLAN", "vorl-plan")

SCHEMAS = {path.name: json.loads(path.read_text()) for path in SCHEMA_DIR.glob("*.schema.json")}

# The schemas' "integer" read as the tool reads and writes it, an integer literal:
# JSON Schema itself admits 7.0 as an integer, which the tool refuses in a request
# and never writes.
LiteralIntegers = validators.extend(
    Draft202012Validator,
    type_checker=Draft202012Validator.TYPE_CHECKER.redefine(
        "integer", lambda _checker, value: isinstance(value, int) and not isinstance(value, bool)))


def validator(name: str) -> Draft202012Validator:
    """A validator that finds the other schemas by their $id, without a network."""
    schema = SCHEMAS[name]
    try:
        from referencing import Registry, Resource
    except ImportError:  # jsonschema before 4.18, as Debian 12 ships it
        from jsonschema import RefResolver

        store = {other["$id"]: other for other in SCHEMAS.values()}
        return LiteralIntegers(schema, resolver=RefResolver.from_schema(schema, store=store))
    registry = Registry().with_resources(
        (other["$id"], Resource.from_contents(other)) for other in SCHEMAS.values())
    return LiteralIntegers(schema, registry=registry)


def tool(*arguments: str, stdin: str = "") -> subprocess.CompletedProcess[str]:
    return subprocess.run([VORL_PLAN, *arguments], input=stdin, capture_output=True, text=True, check=False)


def document(*arguments: str, status: int) -> dict:
    run = tool(*arguments, "--format", "json")
    assert run.returncode == status, (arguments, run.stderr)
    return json.loads(run.stdout)


def requests() -> list[dict]:
    with open(DATA_DIR / "planner-requests.jsonl", encoding="utf-8") as lines:
        return [json.loads(line) for line in lines]


def test_every_schema_is_valid_and_names_itself():
    assert sorted(SCHEMAS) == sorted(f"{name}.schema.json" for name in (
        "batch-request", "batch-answer", "plan", "plan-failure", "offset-limit", "check-report", "plan-timing"))
    for name, schema in SCHEMAS.items():
        Draft202012Validator.check_schema(schema)
        assert schema["$id"].endswith("/" + name)


def test_batch_requests_of_the_test_data():
    check = validator("batch-request.schema.json")
    for request in requests():
        check.validate(request)


@pytest.mark.parametrize("request_line", [
    {"op": "point_to_point", "sender": 0, "receiver": 2, "count": 1, "offset": 0},
    {"op": "point_to_point", "sender": 0, "receivers": [2], "count": 1},
    {"op": "multicast", "sender": 0, "receivers": [2], "count": 1, "offset": -1},
    {"op": "multicast", "sender": 0, "receivers": [2]},
    {"op": "paired_multicast", "sender": 0, "receivers": [2, 3], "count": 1, "offset": 0},
    {"op": "multicast_offset_limit", "sender": 0, "receivers": [2], "count": 1, "offset": 0},
    {"op": "frob", "sender": 0},
    {"sender": 0, "receiver": 2, "count": 1},
    {"op": "point_to_point", "sender": 65536, "receiver": 2, "count": 1},
    {"op": "point_to_point", "sender": 0, "receiver": 2, "count": 7.0},
    {"op": "point_to_point", "sender": 0.0, "receiver": 2, "count": 1},
    {"op": "multicast", "sender": 0, "receivers": [2, 1.0], "count": 1},
    {"op": "multicast", "sender": 0, "receivers": [2], "count": 1, "offset": 1e2},
])
def test_batch_request_schema_refuses_what_the_tool_refuses(request_line):
    with pytest.raises(ValidationError):
        validator("batch-request.schema.json").validate(request_line)


def test_batch_answers_of_every_kind():
    lines = [json.dumps(request) for request in requests()]
    lines += [json.dumps({"op": "multicast_offset_limit", "sender": 0, "receivers": receivers, "count": 1})
              for receivers in ([2, 1], [2, 2])]
    lines += ['{"op":"frob"}', "not json"]
    run = tool("batch", stdin="\n".join(lines) + "\n")
    assert run.returncode == 0, run.stderr
    answers = [json.loads(line) for line in run.stdout.splitlines()]
    assert len(answers) == len(lines)
    check = validator("batch-answer.schema.json")
    for answer in answers:
        check.validate(answer)
    # Every branch of the schema is met: two plans, a limit, an error, a refusal.
    oks = [answer["ok"] for answer in answers if "ok" in answer]
    assert any(isinstance(ok, dict) and "receiver" in ok for ok in oks)
    assert any(isinstance(ok, dict) and "receivers" in ok for ok in oks)
    assert any(isinstance(ok, int) for ok in oks)
    assert any("err" in answer for answer in answers)
    assert sum("bad_request" in answer for answer in answers) == 2


def command_line(request: dict) -> list[str]:
    name = {"point_to_point": "p2p", "multicast": "multicast", "paired_multicast": "paired"}[request["op"]]
    if request["op"] == "point_to_point":
        return [name, str(request["sender"]), str(request["receiver"]), str(request["count"])]
    arguments = [name, str(request["sender"]), ",".join(map(str, request["receivers"])), str(request["count"])]
    if "offset" in request:
        arguments += ["--offset", str(request["offset"])]
    return arguments


# Plans and failures of every kind: worked examples, and every 50th request of the test data.
EXAMPLES = [["p2p", "0", "2", "1"], ["p2p", "0", "2", "4148"], ["multicast", "0", "2,1", "100", "--offset", "4000"],
            ["multicast", "0", "", "1"], ["paired", "0", "2,3", "100"], ["paired", "0", "2,3,4,5", "1"],
            ["p2p", "0", "0", "1"], ["p2p", "0", "1472", "1"], ["p2p", "0", "2", "0"],
            ["multicast", "0", "2,2", "1"], ["multicast", "0", "2,1", "1", "--offset", "4095"],
            ["paired", "0", "2", "1"]]


def plans() -> list[list[str]]:
    return EXAMPLES + [command_line(request) for request in requests()[::50]]


@pytest.mark.parametrize("arguments", plans(), ids=" ".join)
def test_plan_documents_succeeded_or_failed(arguments):
    run = tool(*arguments, "--format", "json")
    assert run.returncode in (0, 1), run.stderr
    name = "plan.schema.json" if run.returncode == 0 else "plan-failure.schema.json"
    validator(name).validate(json.loads(run.stdout))


def test_documents_on_a_table_read_from_a_file(tmp_path):
    table = tmp_path / "four.json"
    table.write_text("[0, 2, 64, 66]")
    validator("plan.schema.json").validate(document("paired", "0", "2,3", "10", "--topology", str(table), status=0))
    validator("offset-limit.schema.json").validate(
        document("offset-limit", "0", "2,1", "1", "--topology", str(table), status=0))
    validator("plan-failure.schema.json").validate(
        document("p2p", "0", "9", "1", "--topology", str(table), status=1))


def test_offset_limit_documents():
    validator("offset-limit.schema.json").validate(document("offset-limit", "0", "2,1", "1", status=0))
    failed = document("offset-limit", "0", "2,2", "1", status=1)
    validator("plan-failure.schema.json").validate(failed)
    assert failed["error"]["hints"] == [
        "the receiver at position 1 (counting from 0), tile 2, is listed earlier in the list too"]


def test_check_reports_inside_plans():
    check = validator("plan-timing.schema.json")
    for arguments in (["p2p", "0", "2", "1"], ["multicast", "0", "2,1", "1"], ["paired", "0", "2,3", "1"]):
        timing = document(*arguments, status=0)["timing"]
        check.validate(timing)
        assert timing["ok"] and timing["checked"], arguments


def test_check_reports_of_every_kind():
    check = validator("check-report.schema.json")
    for arguments in (["p2p", "0", "2", "100"], ["multicast", "0", "2,1", "1", "--offset", "7"],
                      ["paired", "0", "2,3", "100"]):
        report = document("check", *arguments, status=0)
        check.validate(report)
        assert report["ok"] and report["mismatches"] == 0
        assert all(fact["holds"] for fact in report["facts"])
    # A document whose count disagrees with its rows: every fact, the failing ones marked.
    planned = document("multicast", "0", "2,1", "100", "--offset", "7", status=0)
    planned["count"] = 99
    run = tool("check", "-", "--format", "json", stdin=json.dumps(planned))
    assert run.returncode == 3, run.stderr
    report = json.loads(run.stdout)
    check.validate(report)
    assert not report["ok"] and report["problem"] in run.stderr
    assert report["mismatches"] == sum(not fact["holds"] for fact in report["facts"]) > 0


def renamed_keys(value, path=()):
    """Every copy of `value` with one object key renamed, with the key's path."""
    if isinstance(value, dict):
        for key in value:
            copy = {(key + "_renamed" if other == key else other): item for other, item in value.items()}
            yield path + (key,), copy
            for inner_path, inner in renamed_keys(value[key], path + (key,)):
                yield inner_path, {**value, key: inner}
    elif isinstance(value, list):
        for index, item in enumerate(value[:2]):  # the first two stand for the rest
            for inner_path, inner in renamed_keys(item, path + (index,)):
                yield inner_path, value[:index] + [inner] + value[index + 1:]


@pytest.mark.parametrize("name, arguments, status", [
    ("plan.schema.json", ["p2p", "0", "2", "1"], 0),
    ("plan.schema.json", ["multicast", "0", "2,1", "100", "--offset", "7"], 0),
    ("plan.schema.json", ["paired", "0", "2,3", "100"], 0),
    ("plan-failure.schema.json", ["multicast", "0", "2,1", "1", "--offset", "4095"], 1),
    ("offset-limit.schema.json", ["offset-limit", "0", "2,1", "1"], 0),
    ("check-report.schema.json", ["check", "paired", "0", "2,3", "100"], 0),
])
def test_a_renamed_key_fails_its_schema(name, arguments, status):
    check = validator(name)
    original = document(*arguments, status=status)
    check.validate(original)
    for path, changed in renamed_keys(original):
        assert not check.is_valid(changed), f"{name} accepts {'.'.join(map(str, path))} renamed"


def test_a_renamed_key_fails_the_batch_schemas():
    answers = tool("batch", stdin='{"op":"multicast","sender":0,"receivers":[2,1],"count":1,"offset":3}\n'
                                  '{"op":"point_to_point","sender":0,"receiver":0,"count":1}\n').stdout
    for name, value in [("batch-answer.schema.json", json.loads(line)) for line in answers.splitlines()] + [
            ("batch-request.schema.json", request) for request in requests()[:20]]:
        for path, changed in renamed_keys(value):
            assert not validator(name).is_valid(changed), f"{name} accepts {'.'.join(map(str, path))} renamed"
