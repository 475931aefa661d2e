"""The bulk planners against the single calls, their input checks, and the calls beside them."""

from __future__ import annotations

import inspect
import random
import subprocess
import sys

import pytest

np = pytest.importorskip("numpy")

import vorl_exchange  # noqa: E402
from vorl_exchange import ExchangeError, Topology  # noqa: E402

# The driver's case table: sources with their receiver lists, the schedule
# offsets and receiver pairs it tries; counts are sampled from 1..4148.
ENTRIES = [(0, [2]), (0, [736, 1286]), (274, [1286]), (736, [0, 1471]), (1286, [274]), (1471, [0, 2])]
OFFSETS = [0, 1, 51, 4095]
PAIRS = [[2, 3], [274, 275], [1286, 1287]]
COUNTS = [1, 2, 3, 64, 100, 1000, 1543, 4095, 4147, 4148]


@pytest.fixture(scope="module")
def tarn() -> Topology:
    return Topology.tarn()


def random_lists(rng: random.Random, paired: bool) -> list[int]:
    """A receiver list, sometimes refused: tiles past the end, duplicates, lone halves of pairs."""
    listed: list[int] = []
    for _ in range(rng.randrange(0, 5)):
        tile = rng.randrange(1480)
        listed.append(tile)
        if paired and rng.randrange(8):
            listed.append(tile ^ 1)
    return listed


def random_count(rng: random.Random) -> int:
    return rng.choice([0, 4149, 2**32 - 1]) if rng.randrange(10) == 0 else rng.randrange(1, 4149)


def same_outcome(single, bulk_plans, index):
    """Request `index` of a bulk result equals what `single()` returns or raises."""
    try:
        expected = single()
    except ExchangeError as error:
        got = bulk_plans.error(index)
        assert not bulk_plans.ok[index]
        assert (str(got), got.kind, got.debug, got.reason) == (str(error), error.kind, error.debug, error.reason)
        with pytest.raises(ExchangeError):
            bulk_plans.plan(index)
        return False
    assert bulk_plans.ok[index] and bulk_plans.error(index) is None
    assert bulk_plans.plan(index) == expected
    return True


def test_point_to_point_many_equals_the_single_call(tarn):
    rng = random.Random(24)
    requests = [(source, receiver, count) for source, listed in ENTRIES for receiver in listed for count in COUNTS]
    requests += [(rng.randrange(1480), rng.randrange(1480), random_count(rng)) for _ in range(3000)]
    senders, receivers, counts = zip(*requests)
    plans = tarn.point_to_point_many(np.array(senders), list(receivers), np.array(counts, dtype=np.uint32))
    assert plans.rows.shape == (len(requests), 2, 9) and plans.rows.dtype == np.uint32
    planned = sum(same_outcome(lambda: tarn.point_to_point(*request), plans, index)
                  for index, request in enumerate(requests))
    assert min(planned, len(requests) - planned) > len(requests) // 10  # both outcomes well represented
    assert not plans.rows[~plans.ok].any()


@pytest.mark.parametrize("flat", [False, True])
def test_multicast_many_equals_the_single_call(tarn, flat):
    rng = random.Random(25)
    requests = [(source, listed, count, offset) for source, listed in ENTRIES for count in COUNTS for offset in OFFSETS]
    requests += [(rng.randrange(1480), random_lists(rng, False), random_count(rng),
                  rng.choice([0, 1, 4095, 5000, rng.randrange(60)])) for _ in range(3000)]
    senders, lists, counts, offsets = zip(*requests)
    if flat:
        starts = np.cumsum([0] + [len(listed) for listed in lists])
        plans = tarn.multicast_many(senders, np.concatenate([np.array(x, dtype=int) for x in lists]), counts, offsets,
                                    receiver_offsets=starts)
    else:
        plans = tarn.multicast_many(senders, lists, counts, offsets)
    assert list(plans.receiver_offsets) == list(np.cumsum([0] + [len(listed) for listed in lists]))
    planned = sum(same_outcome(lambda: tarn.multicast(*request), plans, index)
                  for index, request in enumerate(requests))
    assert min(planned, len(requests) - planned) > len(requests) // 10  # both outcomes well represented


def test_paired_multicast_many_equals_the_single_call(tarn):
    rng = random.Random(26)
    requests = [(source, pair, count) for source, _ in ENTRIES for pair in PAIRS for count in COUNTS]
    requests += [(rng.randrange(1480), random_lists(rng, True), random_count(rng)) for _ in range(3000)]
    senders, lists, counts = zip(*requests)
    plans = tarn.paired_multicast_many(senders, lists, counts)
    planned = sum(same_outcome(lambda: tarn.paired_multicast(*request), plans, index)
                  for index, request in enumerate(requests))
    assert min(planned, len(requests) - planned) > len(requests) // 10  # both outcomes well represented


def test_scalars_stand_for_every_request(tarn):
    plans = tarn.multicast_many(0, [[2], [2, 1]], 1, [0, 10])
    assert plans.plan(1) == tarn.multicast(0, [2, 1], 1, 10)
    # Offsets index the flat array itself, so they may start past its beginning.
    window = tarn.multicast_many(0, np.array([9, 9, 2, 2, 1]), 1, [0, 10], receiver_offsets=[2, 3, 5])
    assert list(window.receiver_offsets) == [0, 1, 3] and window.plan(1) == plans.plan(1)
    assert len(tarn.point_to_point_many([], [], [])) == 0
    assert len(tarn.paired_multicast_many([], [], [])) == 0


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda t: t.point_to_point_many([0, 1, 2], [2, -1, 70000], 1), ValueError,
         r"^receivers\[1\] must be within 0\.\.65535, not -1$"),
        (lambda t: t.point_to_point_many(np.array([0, 65536]), 2, 1), ValueError, r"^senders\[1\] must be within"),
        (lambda t: t.point_to_point_many(0, 2, [1, 2**32]), ValueError, r"^counts\[1\] must be within 0\.\.4294967295"),
        (lambda t: t.point_to_point_many(0, 2, [1, 2**70]), ValueError, r"^counts\[1\] must be within"),
        (lambda t: t.point_to_point_many([0, 1.5], 2, 1), TypeError, r"^senders\[1\] must be an int"),
        (lambda t: t.point_to_point_many(np.array([0.0]), 2, 1), TypeError, r"^senders\[0\] must be an int"),
        (lambda t: t.point_to_point_many([0, True], 2, 1), TypeError, r"^senders\[1\] must be an int"),
        (lambda t: t.point_to_point_many(["0"], 2, 1), TypeError, r"^senders\[0\] must be an int"),
        (lambda t: t.point_to_point_many([[0]], 2, 1), ValueError, r"^senders must be one-dimensional, not of shape \(1, 1\)$"),
        (lambda t: t.point_to_point_many([0, 1], [2, 3, 4], 1), ValueError, r"differ in length"),
        (lambda t: t.multicast_many(0, [[2], [3, 70000]], 1), ValueError, r"^receivers\[1\]\[1\] must be within"),
        (lambda t: t.multicast_many(0, [[2], [None]], 1), TypeError, r"^receivers\[1\]\[0\] must be an int"),
        (lambda t: t.multicast_many(0, [[2]], 1, [-5]), ValueError, r"^schedule_offsets\[0\] must be within"),
        (lambda t: t.multicast_many([0, 1, 2], [[2]], 1), ValueError, r"senders has 3 entries for 1 receiver lists"),
        (lambda t: t.multicast_many(0, 5, 1), TypeError, r"receivers must be a sequence"),
        (lambda t: t.multicast_many(0, [2, 1], 1, receiver_offsets=[0, 1, 3]), ValueError,
         r"^receiver_offsets\[2\] must be within 0\.\.2, not 3$"),
        (lambda t: t.paired_multicast_many(0, [2, 3], 1, receiver_offsets=[]), ValueError, r"n \+ 1 offsets"),
        (lambda t: t.paired_multicast_many(0, [2, 3], 1, receiver_offsets=[0, 2, 1]), ValueError,
         r"^receiver_offsets\[2\] must not be below receiver_offsets\[1\]$"),
    ],
)
def test_bad_requests_are_refused_before_planning(tarn, call, error, message):
    with pytest.raises(error, match=message):
        call(tarn)


def test_bulk_calls_without_numpy_name_the_package():
    """The scalar API works without NumPy; a bulk call says what to install."""
    script = (
        "import sys\nsys.modules['numpy'] = None\n"
        "import vorl_exchange as v\nt = v.Topology.tarn()\nprint(t.point_to_point(0, 2, 1).sender[0])\n"
        "try:\n    t.point_to_point_many([0], [2], [1])\nexcept ImportError as e:\n    print(e)\n"
    )
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    lines = result.stdout.splitlines()
    assert lines[0] == "1098907651"
    assert "python3-numpy" in lines[1]


def test_calls_beside_the_planners(tarn):
    limit = tarn.multicast_offset_limit(1287, [407, 380], 1543)
    tarn.multicast(1287, [407, 380], 1543, limit)
    with pytest.raises(ExchangeError, match="multicast start cycle"):
        tarn.multicast(1287, [407, 380], 1543, limit + 1)
    with pytest.raises(ExchangeError, match="exchange count 0"):
        tarn.multicast_offset_limit(1287, [407, 380], 0)
    assert [tarn.paired_receiver_is_early(tile, 0) for tile in (2, 3)].count(True) == 1
    with pytest.raises(ExchangeError, match="logical tile 1472"):
        tarn.paired_receiver_is_early(1472, 0)
    assert (tarn.are_partners(2, 3), tarn.are_partners(2, 4), tarn.are_partners(1472, 1473)) == (True, False, False)
    assert (len(tarn), tarn.tile_count, repr(tarn)) == (1472, 1472, "<vorl_exchange.Topology of 1472 tiles>")
    assert len(Topology([0, 2])) == 2


def test_every_public_name_says_what_it_returns_and_raises():
    for name in vorl_exchange.__all__:
        value = getattr(vorl_exchange, name)
        if name in ("Row", "__version__"):
            continue
        assert inspect.getdoc(value), name
        members = inspect.getmembers(value, lambda m: inspect.isfunction(m) or isinstance(m, property)) \
            if inspect.isclass(value) else []
        for member_name, member in members:
            if not member_name.startswith("_") or member_name == "__init__":
                assert inspect.getdoc(member), f"{name}.{member_name}"
    for name in ("physical", "point_to_point", "multicast_many", "multicast_offset_limit"):
        doc = inspect.getdoc(getattr(Topology, name))
        assert "Returns" in doc and "Raises" in doc, name
