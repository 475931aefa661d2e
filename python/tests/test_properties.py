"""Property tests: on random requests, every bulk result equals the single call, errors included.

Inputs lean on the edges: tiles at the ends of the topology and of 16 bits,
counts at the ends of their range, empty and repeated receiver lists, and the
same numbers as Python ints, NumPy scalars of every integer type, or arrays of
one dtype.
"""

from __future__ import annotations

import pytest

from vorl_exchange import ErrorKind, ExchangeError, Topology

np = pytest.importorskip("numpy")
hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402

TARN = Topology.tarn()
# Fixed examples (the same on every run) and no example database written beside the tests.
SETTINGS = settings(max_examples=60, deadline=None, derandomize=True, database=None)

tiles = st.one_of(st.sampled_from([0, 1, 2, 3, 274, 275, 1286, 1287, 1470, 1471, 1472, 1473, 65535]),
                  st.integers(0, 1480))
counts = st.one_of(st.sampled_from([0, 1, 2, 64, 4147, 4148, 4149, 2**32 - 1]), st.integers(1, 4148))
schedule_offsets = st.one_of(st.sampled_from([0, 1, 51, 4095, 4096, 2**32 - 1]), st.integers(0, 5000))
receiver_lists = st.lists(tiles, max_size=5)
pair_lists = st.lists(st.sampled_from([2, 274, 1286, 736, 1470]), max_size=3).map(
    lambda firsts: [tile for first in firsts for tile in (first, first + 1)])

# How a caller might hand over the numbers: as they are, or each as a NumPy scalar.
SCALAR_TYPES = [int, np.int64, np.uint64, np.int32, np.uint32, np.intp]


def outcome(single):
    """What a single call returns, or the ExchangeError it raises, as a value."""
    try:
        return single()
    except ExchangeError as error:
        return error


def as_scalars(draw, values):
    kind = draw(st.sampled_from(SCALAR_TYPES))
    return [kind(value) for value in values]


def assert_bulk_equals_single(plans, expected):
    assert len(plans) == len(expected)
    assert list(plans) == expected
    for index, single in enumerate(expected):
        failed = isinstance(single, ExchangeError)
        assert plans.ok[index] == (not failed)
        assert plans.error(index) == (single if failed else None)
        assert plans.kinds[index] == (ErrorKind[single.kind] if failed else -1)
        assert plans[index - len(plans)] == single
    assert dict(plans.errors()) == {index: single for index, single in enumerate(expected)
                                    if isinstance(single, ExchangeError)}


@st.composite
def point_to_point_requests(draw):
    requests = draw(st.lists(st.tuples(tiles, tiles, counts), max_size=12))
    columns = [list(column) for column in zip(*requests)] or [[], [], []]
    as_given = draw(st.sampled_from(["ints", "scalars", "arrays"]))
    if as_given == "scalars":
        columns = [as_scalars(draw, column) for column in columns]
    elif as_given == "arrays":
        columns = [np.array(column, dtype=dtype) for column, dtype in zip(columns, (np.int32, np.uint16, np.uint64))]
    return requests, columns


@SETTINGS
@given(point_to_point_requests())
def test_point_to_point_many_equals_the_single_calls(drawn):
    requests, columns = drawn
    expected = [outcome(lambda: TARN.point_to_point(*request)) for request in requests]
    assert_bulk_equals_single(TARN.point_to_point_many(*columns), expected)


@SETTINGS
@given(st.lists(st.tuples(tiles, receiver_lists, counts, schedule_offsets), max_size=10), st.booleans())
def test_multicast_many_equals_the_single_calls(requests, flat):
    expected = [outcome(lambda: TARN.multicast(*request)) for request in requests]
    senders = [np.uint16(sender) for sender, _, _, _ in requests]
    lists = [listed for _, listed, _, _ in requests]
    counts_ = [count for _, _, count, _ in requests]
    offsets = np.array([offset for _, _, _, offset in requests], dtype=np.int64)
    if flat:
        bounds = np.cumsum([0] + [len(listed) for listed in lists])
        plans = TARN.multicast_many(senders, [tile for listed in lists for tile in listed], counts_, offsets,
                                    receiver_offsets=bounds)
    else:
        plans = TARN.multicast_many(senders, lists, counts_, offsets)
    assert_bulk_equals_single(plans, expected)


@SETTINGS
@given(st.lists(st.tuples(tiles, st.one_of(pair_lists, receiver_lists), counts), max_size=10))
def test_paired_multicast_many_equals_the_single_calls(requests):
    expected = [outcome(lambda: TARN.paired_multicast(*request)) for request in requests]
    senders, lists, counts_ = (list(column) for column in zip(*requests)) if requests else ([], [], [])
    assert_bulk_equals_single(TARN.paired_multicast_many(senders, lists, counts_), expected)
