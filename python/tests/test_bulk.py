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
        assert (got.rule, got.entry, got.tile) == (error.rule, error.entry, error.tile)
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
        (lambda t: t.point_to_point_many([[0]], 2, 1), ValueError,
         r"^senders must be one-dimensional, not of shape \(1, 1\)$"),
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


INTEGER_DTYPES = [np.int8, np.int16, np.int32, np.int64, np.uint8, np.uint16, np.uint32, np.uint64, np.intp,
                  np.uintp, np.longlong, np.ulonglong]


@pytest.mark.parametrize("dtype", INTEGER_DTYPES + [object])
def test_every_integer_dtype_is_taken_and_checked(tarn, dtype):
    expected = tarn.point_to_point_many([0, 1], [2, 0], [1, 100])
    taken = tarn.point_to_point_many(np.array([0, 1], dtype), np.array([2, 0], dtype), np.array([1, 100], dtype))
    assert np.array_equal(taken.rows, expected.rows)
    if dtype is object or np.dtype(dtype).kind == "i":
        with pytest.raises(ValueError, match=r"^receivers\[1\] must be within 0\.\.65535, not -1$"):
            tarn.point_to_point_many(0, np.array([2, -1], dtype), 1)
    # The largest value of each argument passes; one more, where the dtype holds it, is refused.
    for name, maximum in (("receivers", 0xFFFF), ("counts", 0xFFFFFFFF)):
        arguments = {"senders": 0, "receivers": 2, "counts": 1}
        if dtype is object or np.iinfo(dtype).max >= maximum:
            arguments[name] = np.array([1, maximum], dtype)
            assert not tarn.point_to_point_many(**arguments).ok[1]
        if dtype is object or np.iinfo(dtype).max > maximum:
            arguments[name] = np.array([1, maximum + 1], dtype)
            with pytest.raises(ValueError, match=rf"^{name}\[1\] must be within 0\.\.{maximum}, not {maximum + 1}$"):
                tarn.point_to_point_many(**arguments)


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda t: t.point_to_point_many(0, np.array([2, 2**64], dtype=object), 1), ValueError,
         r"^receivers\[1\] must be within 0\.\.65535, not 18446744073709551616$"),
        (lambda t: t.point_to_point_many(0, np.array([2, True], dtype=object), 1), TypeError,
         r"^receivers\[1\] must be an int, not bool$"),
        (lambda t: t.point_to_point_many(0, [2, np.True_], 1), TypeError,
         r"^receivers\[1\] must be an int, not bool_$"),
        (lambda t: t.point_to_point_many(0, np.array([True]), 1), TypeError, r"^receivers\[0\] must be an int"),
        (lambda t: t.point_to_point_many(True, 2, 1), TypeError, r"^senders must be an int, not bool"),
        (lambda t: t.point_to_point_many(0, 2, -1), ValueError, r"^counts must be within 0\.\.4294967295, not -1$"),
        (lambda t: t.point_to_point_many(0, np.zeros((2, 2), np.uint16), 1), ValueError,
         r"^receivers must be one-dimensional, not of shape \(2, 2\)$"),
        (lambda t: t.multicast_many(0, np.array([2, 1]), 1), TypeError,
         r"^receivers\[0\] must be a list of tiles, not int64 \(a flat array of receivers needs receiver_offsets\)$"),
        (lambda t: t.multicast_many(0, [[2], [True]], 1), TypeError,
         r"^receivers\[1\]\[0\] must be an int, not bool$"),
        (lambda t: t.multicast_many(0, [np.zeros((1, 2), int)], 1), ValueError,
         r"^receivers\[0\] must be a one-dimensional list"),
        (lambda t: t.multicast_many(0, [2, 1], 1, receiver_offsets=1), ValueError, r"not a scalar$"),
        (lambda t: t.multicast_many(0, [2, 1], 1, receiver_offsets=[0, 2, 1, 2]), ValueError,
         r"^receiver_offsets\[2\] must not be below receiver_offsets\[1\]$"),
        # The last pair bounds the last request's receivers: checked like any other.
        (lambda t: t.multicast_many(0, [2, 1], 1, receiver_offsets=[0, 1, 2, 1]), ValueError,
         r"^receiver_offsets\[3\] must not be below receiver_offsets\[2\]$"),
        (lambda t: t.paired_multicast_many(np.array([0, -3], np.int8), [[2, 3], [2, 3]], 1), ValueError,
         r"^senders\[1\] must be within 0\.\.65535, not -3$"),
    ],
)
def test_bad_values_are_named_by_argument_and_index(tarn, call, error, message):
    with pytest.raises(error, match=message):
        call(tarn)


def test_single_calls_take_what_operator_index_takes(tarn):
    expected = tarn.point_to_point(0, 2, 1)
    assert tarn.point_to_point(np.uint16(0), np.int64(2), np.array(1)) == expected
    assert tarn.multicast(np.int8(0), np.array([2, 1]), np.uint64(1), np.int32(0)) == tarn.multicast(0, [2, 1], 1)
    assert tarn.physical(np.uint8(2)) == 64
    for refused in (True, np.True_, np.array(True), np.array([1]), 1.0):
        with pytest.raises(TypeError, match=r"^count must be an int, not "):
            tarn.point_to_point(0, 2, refused)
    with pytest.raises(ValueError, match=r"^receivers\[1\] must be within"):
        tarn.multicast(0, np.array([2, -1]), 1)


def point_to_point_outputs(n):
    return np.empty((n, 2, 9), np.uint32), np.empty(n, np.int32)


@pytest.mark.parametrize(
    "outputs, error, message",
    [
        (lambda n: ([[0] * 9] * 2, None), TypeError, r"^out must be a NumPy array, not list$"),
        (lambda n: (np.empty((n, 2, 9), np.int32), None), TypeError, r"^out must have dtype uint32, not int32$"),
        (lambda n: (np.empty((n, 2, 9), ">u4"), None), TypeError, r"^out must have dtype uint32, not >u4$"),
        (lambda n: (np.empty((n + 1, 2, 9), np.uint32), None), ValueError, r"^out must have shape \(3, 2, 9\)"),
        (lambda n: (np.empty((n, 18), np.uint32), None), ValueError, r"^out must have shape"),
        (lambda n: (np.empty((2 * n, 2, 9), np.uint32)[::2], None), ValueError, r"^out must be C-contiguous"),
        (lambda n: (np.broadcast_to(np.uint32(0), (n, 2, 9)), None), ValueError, r"^out must be C-contiguous"),
        (lambda n: (np.frombuffer(bytes(n * 72), np.uint32).reshape(n, 2, 9), None), ValueError,
         r"^out must be writable$"),
        (lambda n: (None, np.empty(n, np.int64)), TypeError, r"^status_out must have dtype int32, not int64$"),
        (lambda n: (None, np.empty(n + 1, np.int32)), ValueError, r"^status_out must have shape \(3,\)"),
        (lambda n: (lambda rows: (rows, rows.reshape(-1).view(np.int32)[:n]))(np.empty((n, 2, 9), np.uint32)),
         ValueError, r"^out and status_out must not overlap$"),
    ],
)
def test_output_arrays_are_checked_before_planning(tarn, outputs, error, message):
    out, status_out = outputs(3)
    with pytest.raises(error, match=message):
        tarn.point_to_point_many([0, 0, 0], [2, 1, 1472], 1, out=out, status_out=status_out)


@pytest.mark.parametrize(
    "out, error, message",
    [
        (lambda: np.empty((2, 9), np.uint32), TypeError, r"^out must be a pair of arrays"),
        (lambda: (np.empty((2, 9), np.uint32), np.empty((2, 9), np.uint32)), ValueError,
         r"^out\[1\] must have shape \(3, 9\), not \(2, 9\)$"),
        (lambda: (np.empty((2, 9), np.uint16), np.empty((3, 9), np.uint32)), TypeError, r"^out\[0\] must have dtype"),
        (lambda: (lambda rows: (rows[:2], rows[2:5]))(np.empty((5, 9), np.uint32)), None, None),
        (lambda: (lambda rows: (rows[:2], rows[1:4]))(np.empty((5, 9), np.uint32)), ValueError,
         r"^out\[0\] and out\[1\] must not overlap$"),
    ],
)
def test_multicast_output_arrays(tarn, out, error, message):
    arrays = out()
    call = lambda: tarn.multicast_many([0, 0], [[2], [2, 1]], 1, out=arrays)  # noqa: E731
    if error is None:
        plans = call()
        assert plans.sender_rows is arrays[0] and plans.receiver_rows is arrays[1]
        assert list(plans) == [tarn.multicast(0, [2], 1), tarn.multicast(0, [2, 1], 1)]
    else:
        with pytest.raises(error, match=message):
            call()


def test_output_arrays_are_written_in_place_call_after_call(tarn):
    arrays = vorl_exchange.point_to_point_out(4)
    rows, statuses = arrays["out"], arrays["status_out"]
    assert rows.shape == (4, 2, 9) and statuses.shape == (4,) and not rows.any()
    for receivers in ([2, 1472, 1, 3], [1472, 2, 5, 0]):
        rows.fill(0xDEADBEEF)
        statuses.fill(-1)
        plans = tarn.point_to_point_many(0, receivers, 1, **arrays)
        fresh = tarn.point_to_point_many(0, receivers, 1)
        assert plans.rows is rows and plans.statuses is statuses
        assert np.array_equal(rows, fresh.rows) and np.array_equal(statuses, fresh.statuses)
    multicast = vorl_exchange.multicast_out(2, 3)
    plans = tarn.multicast_many([0, 0], [[2], [2, 1]], 1, **multicast)
    assert plans.receiver_rows is multicast["out"][1] and plans[1] == tarn.multicast(0, [2, 1], 1)
    with pytest.raises(ValueError, match=r"^requests must be within"):
        vorl_exchange.point_to_point_out(-1)


def test_results_are_sequences_of_plans_and_errors(tarn):
    plans = tarn.multicast_many([0, 0, 0], [[2], [2, 1], [1472]], 1)
    singles = [tarn.multicast(0, [2], 1), tarn.multicast(0, [2, 1], 1)]
    with pytest.raises(ExchangeError) as raised:
        tarn.multicast(0, [1472], 1)
    expected = singles + [raised.value]
    assert len(plans) == 3 and list(plans) == expected and list(reversed(plans)) == expected[::-1]
    assert [plans[index] for index in range(-3, 0)] == expected
    assert plans[1:] == expected[1:] and plans[::-2] == expected[::-2] and plans[5:] == []
    assert plans[np.int64(-2)] == singles[1] and plans.plan(np.uint8(1)) == singles[1]
    assert plans.error(-3) is None and plans.error(-1) == raised.value and plans.error(2) == raised.value
    assert plans.receivers(-2).shape == (2, 9) and plans.receivers(-1).shape == (1, 9)
    for index in (3, -4):
        for access in (plans.__getitem__, plans.error, plans.plan, plans.receivers):
            with pytest.raises(IndexError, match=rf"^request index {index} is out of range for 3 requests$"):
                access(index)
    for index in (True, 1.0, "1"):
        with pytest.raises(TypeError, match=r"^request index must be an int"):
            plans[index]
    with pytest.raises(ExchangeError):
        plans.plan(-1)
    empty = tarn.point_to_point_many([], [], [])
    assert len(empty) == 0 and list(empty) == [] and len(empty.errors()) == 0
    with pytest.raises(IndexError, match="out of range for 0 requests"):
        empty.error(0)


def test_statuses_kinds_and_errors_on_demand(tarn):
    plans = tarn.point_to_point_many([0, 0, 5, 0, 0], [2, 1472, 5, 2, 1], [1, 1, 1, 0, 1])
    assert plans.statuses.tolist() == [0, 1, 1, 1, 0] and plans.ok.tolist() == [True, False, False, False, True]
    assert plans.kinds.dtype == np.int8
    assert plans.kinds.tolist() == [-1, vorl_exchange.ErrorKind.Tile, vorl_exchange.ErrorKind.DuplicateTile,
                                    vorl_exchange.ErrorKind.Count, -1]
    errors = plans.errors()
    assert len(errors) == 3 and list(errors) == [1, 2, 3] and 2 in errors and 0 not in errors and 9 not in errors
    assert errors[-4].kind == "Tile" and [errors[index].kind for index in errors] == ["Tile", "DuplicateTile", "Count"]
    for planned_or_absent in (0, 4, 5, -6, "1", True):
        with pytest.raises(KeyError):
            errors[planned_or_absent]
        assert errors.get(planned_or_absent) is None and planned_or_absent not in errors
    assert [vorl_exchange.ErrorKind[plans.error(index).kind] for index in errors] == plans.kinds[1:4].tolist()
