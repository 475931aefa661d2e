"""The Python package against the worked examples, the golden responses, and bad input."""

from __future__ import annotations

import json
import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import vorl_exchange
from vorl_exchange import ExchangeError, Topology

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
DATA_DIR = pathlib.Path(os.environ.get("VORL_TEST_DATA_DIR", SOURCE_DIR / "tests" / "data"))


def row(*words: int) -> tuple[int, ...]:
    return tuple(words) + (0,) * (9 - len(words))


@pytest.fixture(scope="module")
def tarn() -> Topology:
    return Topology.tarn()


@pytest.mark.parametrize(
    "sender, receiver, count, sender_row, receiver_row",
    [
        (0, 2, 1, row(0x41800003, 0x40A0008E, 0x78000001, 0x43A00000),
         row(1, 0x41800003, 0x641C0000, 0x64000640, 0x61A00000, 0x40A00005, 0x43A00000)),
        (0, 2, 100, row(0x41800003, 0x40A0008E, 0x7FE00001, 0x74600001, 0x43A00000),
         row(1, 0x41800003, 0x641C0000, 0x61A80000, 0x640BC640, 0x40A00038, 0x43A00000)),
    ],
)
def test_point_to_point_examples(tarn, sender, receiver, count, sender_row, receiver_row):
    plan = tarn.point_to_point(sender, receiver, count)
    assert (plan.sender, plan.receiver) == (sender_row, receiver_row)


def test_point_to_point_without_a_leading_delay(tarn):
    assert tarn.point_to_point(781, 0, 1).sender == row(0x41800003, 0x78000002, 0x40A00004, 0x43A00000)


@pytest.mark.parametrize(
    "receivers, count, offset, sender_row, receiver_rows",
    [
        ([2], 1, 0, row(0x41800003, 0x40A0001E, 0x78000001, 0x43A00000),
         [row(0x41800003, 0x64000000, 0x64000640, 0x61A14000, 0x40A00005, 0x43A00000)]),
        ([2], 100, 0, row(0x41800003, 0x40A0001E, 0x7FE00001, 0x74600001, 0x43A00000),
         [row(0x41800003, 0x64000000, 0x61A94000, 0x640BC640, 0x40A00038, 0x43A00000)]),
        ([2, 1], 1, 10, row(0x41800003, 0x40A00028, 0x78000003, 0x43A00000),
         [row(0x41800003, 0x64028000, 0x64000640, 0x61A14000, 0x40A00005, 0x43A00000),
          row(0x41800003, 0x64034000, 0x64000640, 0x61914000, 0x40A00005, 0x43A00000)]),
    ],
)
def test_multicast_examples(tarn, receivers, count, offset, sender_row, receiver_rows):
    plan = tarn.multicast(0, receivers, count, schedule_offset=offset)
    assert (plan.sender, plan.receivers) == (sender_row, receiver_rows)


def test_paired_multicast_examples(tarn):
    plan = tarn.paired_multicast(0, [2, 3], 1)
    assert plan.sender == row(0x41800003, 0x40A0001E, 0x78000005, 0x43A00000)
    assert len(plan.receivers) == 2
    # Receivers may come from any iterable.
    assert plan == tarn.paired_multicast(0, iter([2, 3]), 1)
    # The sender and its partner as receivers: both send directions, control 7.
    assert vorl_exchange.describe(tarn.paired_multicast(0, [0, 1], 1).sender[2]) == "send count=1 base_word=0 control=7"


def test_golden_responses(tarn):
    """Every golden request, planned through Python, gives its golden response line."""
    requests = (DATA_DIR / "planner-requests.jsonl").read_text().splitlines()
    responses = (DATA_DIR / "planner-responses.jsonl").read_text().splitlines()
    assert len(requests) == len(responses) == 3000
    for line, expected in zip(requests, responses):
        request = json.loads(line)
        try:
            if request["op"] == "point_to_point":
                plan = tarn.point_to_point(request["sender"], request["receiver"], request["count"])
                result = {"ok": {"sender": list(plan.sender), "receiver": list(plan.receiver)}}
            else:
                if request["op"] == "multicast":
                    plan = tarn.multicast(request["sender"], request["receivers"], request["count"], request["offset"])
                else:
                    plan = tarn.paired_multicast(request["sender"], request["receivers"], request["count"])
                result = {"ok": {"sender": list(plan.sender), "receivers": [list(r) for r in plan.receivers]}}
        except ExchangeError as error:
            result = {"err": str(error), "debug": error.debug}
        assert json.dumps(result, separators=(",", ":")) == expected, line


@pytest.mark.parametrize(
    "plan, display, kind, debug, reason",
    [
        (lambda t: t.point_to_point(0, 2, 0), "exchange count 0 is outside 1..=4148", "Count", "Count(0)", None),
        (lambda t: t.point_to_point(0, 7812, 1), "logical tile 7812 is out of range", "Tile", "Tile(7812)", None),
        (lambda t: t.point_to_point(5, 5, 1), "exchange endpoints must be distinct", "DuplicateTile", "DuplicateTile",
         None),
        (lambda t: t.paired_multicast(0, [2], 1), "invalid multicast receiver set", "ReceiverSet", "ReceiverSet", None),
        (lambda t: t.multicast(1287, [407, 380], 1543, 4096),
         "exchange schedule is not encodable: multicast start cycle", "Schedule",
         'Schedule("multicast start cycle")', "multicast start cycle"),
        (lambda t: t.physical(1472), "logical tile 1472 is out of range", "Tile", "Tile(1472)", None),
    ],
)
def test_exchange_errors(tarn, plan, display, kind, debug, reason):
    with pytest.raises(ExchangeError) as raised:
        plan(tarn)
    assert (str(raised.value), raised.value.kind, raised.value.debug, raised.value.reason) == (
        display, kind, debug, reason)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda t: t.point_to_point(-1, 2, 1), ValueError),
        (lambda t: t.point_to_point(0, 65536, 1), ValueError),
        (lambda t: t.point_to_point(0, 2, 2**32), ValueError),
        (lambda t: t.point_to_point(0, 2, 1.0), TypeError),
        (lambda t: t.point_to_point(True, 2, 1), TypeError),
        (lambda t: t.point_to_point("0", 2, 1), TypeError),
        (lambda t: t.multicast(0, [2], 1, -1), ValueError),
        (lambda t: t.multicast(0, [2], 1, 2**32), ValueError),
        (lambda t: t.multicast(0, [2, None], 1), TypeError),
        (lambda t: t.multicast(0, 2, 1), TypeError),
        (lambda t: t.paired_multicast(0, [2, 70000], 1), ValueError),
        (lambda t: t.paired_logical(-3), ValueError),
        (lambda t: vorl_exchange.describe(2**32), ValueError),
        (lambda t: vorl_exchange.describe(False), TypeError),
        (lambda t: Topology([0, 1.5]), TypeError),
    ],
)
def test_bad_arguments(tarn, call, error):
    with pytest.raises(error):
        call(tarn)


@pytest.mark.parametrize(
    "plan, rule, entry, tile",
    [
        (lambda t: t.multicast(0, [2, 5000], 1), "OutsideTopology", 1, 5000),
        (lambda t: t.multicast(0, [4, 2, 4], 1), "Repeated", 2, 4),
        (lambda t: t.multicast(7, [7], 1), "SenderAlone", 0, 7),
        (lambda t: t.multicast(0, [], 1), "EmptyList", None, None),
        (lambda t: t.paired_multicast(0, [2], 1), "OddCount", None, None),
        (lambda t: t.paired_multicast(0, [2, 3, 4, 7], 1), "PartnerMissing", 2, 4),
        # The paired planner checks its list before the sender: the list is still explained.
        (lambda t: t.paired_multicast(9999, [1500, 2], 1), "OutsideTopology", 0, 1500),
        (lambda t: Topology([0, 64, 66]).paired_multicast(1, [0, 1], 1), "NoPartner", 0, 0),
    ],
)
def test_refused_receiver_lists_name_their_entry_and_rule(tarn, plan, rule, entry, tile):
    with pytest.raises(ExchangeError) as raised:
        plan(tarn)
    assert (str(raised.value), raised.value.kind) == ("invalid multicast receiver set", "ReceiverSet")
    assert (raised.value.rule, raised.value.entry, raised.value.tile) == (rule, entry, tile)


def test_other_errors_have_no_receiver_fault(tarn):
    # A count refused first says nothing of the (also broken) list.
    with pytest.raises(ExchangeError) as raised:
        tarn.multicast(0, [], 0)
    assert (raised.value.kind, raised.value.rule, raised.value.entry, raised.value.tile) == ("Count", None, None, None)
    # The constructor's positional form still works; the receiver fields are keyword-only.
    made = ExchangeError("invalid multicast receiver set", "ReceiverSet", "ReceiverSet", None, rule="Repeated",
                         entry=1, tile=2)
    assert (made.rule, made.entry, made.tile, made.reason) == ("Repeated", 1, 2, None)
    with pytest.raises(TypeError):
        ExchangeError("x", "ReceiverSet", "ReceiverSet", None, "Repeated")  # type: ignore[misc]


def test_largest_arguments_reach_the_library(tarn):
    with pytest.raises(ExchangeError, match="logical tile 65535"):
        tarn.point_to_point(65535, 0, 1)
    with pytest.raises(ExchangeError, match="exchange count 4294967295"):
        tarn.multicast(0, [2], 2**32 - 1, 2**32 - 1)


def test_custom_tables():
    custom = Topology([0, 2, 64, 66])
    assert [custom.physical(n) for n in range(4)] == [0, 2, 64, 66]
    assert custom.paired_logical(2) == 3
    assert custom.point_to_point(0, 2, 1) == Topology.tarn().point_to_point(0, 2, 1)
    with pytest.raises(ValueError, match=r"^topology table entry 1: a physical identifier must fit in 11 bits"):
        Topology([5, 0x800, 0xFFFF])
    with pytest.raises(ValueError, match=r"^topology table entry 65536: a table holds at most 65536 entries"):
        Topology([0] * 65537)
    # Two logical tiles on one physical tile would let a tile send to itself.
    with pytest.raises(ValueError, match=r"^topology table entry 1: .* may appear only once; entry 0 holds it too$"):
        Topology([0, 0, 2])
    with pytest.raises(ExchangeError, match="logical tile 0 is out of range"):
        Topology([]).physical(0)


def test_describe_and_version():
    assert vorl_exchange.describe(0x78000001) == "send count=1 base_word=0 control=1"
    assert re.fullmatch(r"\d+\.\d+\.\d+", vorl_exchange.__version__)


def _import_copy(tmp_path: pathlib.Path, library: str, version: str) -> subprocess.CompletedProcess[str]:
    """Imports a copy of the package whose generated file names `library` and `version`."""
    package = pathlib.Path(vorl_exchange.__file__).parent
    copy = tmp_path / "vorl_exchange"
    shutil.copytree(package, copy, ignore=shutil.ignore_patterns("__pycache__", "lib*"))
    real = (package / vorl_exchange._library.LIBRARY).resolve()
    (copy / "_library.py").write_text(f"LIBRARY = {str(real if library == 'real' else library)!r}\n"
                                      f"VERSION = {version!r}\n")
    return subprocess.run([sys.executable, "-c", "import vorl_exchange"], cwd=tmp_path, capture_output=True,
                          text=True, env={**os.environ, "PYTHONPATH": str(tmp_path)})


def test_import_refuses_a_missing_or_mismatched_library(tmp_path):
    missing = _import_copy(tmp_path, "no-such-library.so", vorl_exchange.__version__)
    assert "ImportError: vorl_exchange: cannot load the library" in missing.stderr
    assert "reinstall both from one build" in missing.stderr
    shutil.rmtree(tmp_path / "vorl_exchange")
    mismatched = _import_copy(tmp_path, "real", "9.9.9")
    assert "ImportError: vorl_exchange: the package is version 9.9.9 but the library" in mismatched.stderr

