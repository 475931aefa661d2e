"""The bulk checks: what the bulk planners write passes, any flipped bit fails its own request only, and every
argument is refused by name before the library sees it."""

from __future__ import annotations

import functools

import pytest

np = pytest.importorskip("numpy")
hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402

from vorl_exchange import Topology  # noqa: E402

TARN = Topology.tarn()
SETTINGS = settings(max_examples=60, deadline=None, derandomize=True, database=None)

# Requests of each kind, some of them refused: tile 1480 is past the end, a
# lone half of a pair or a repeated receiver is no receiver list.
SENDERS = [0, 274, 736, 1471, 1480, 5]
COUNTS = [100, 1, 4148, 7, 10, 3]
POINT_TO_POINT_RECEIVERS = [2, 1286, 0, 2, 3, 5]
MULTICAST_RECEIVERS = [[2, 1], [736, 1286], [0, 1471], [2], [3], [7, 7]]
SCHEDULE_OFFSETS = [10, 51, 0, 4095, 0, 0]
PAIRED_RECEIVERS = [[2, 3], [274, 275], [1286, 1287, 2, 3], [2], [2, 3], [0, 1]]


class PointToPoint:
    """Requests, their rows as one array, and where each request's rows are."""

    def __init__(self) -> None:
        self.plans = TARN.point_to_point_many(SENDERS, POINT_TO_POINT_RECEIVERS, COUNTS)
        self.rows = self.plans.rows

    def check(self, rows: object) -> np.ndarray:
        return TARN.check_point_to_point_many(SENDERS, POINT_TO_POINT_RECEIVERS, COUNTS, rows)

    def flip(self, request: int, row: int, word: int, bit: int) -> object:
        rows = self.rows.copy()
        rows[request, row % 2, word] ^= 1 << bit
        return rows

    def transformed(self, transform) -> object:
        return transform(self.rows)


class Multicast:
    def __init__(self, paired: bool) -> None:
        self.paired = paired
        if paired:
            self.plans = TARN.paired_multicast_many(SENDERS, PAIRED_RECEIVERS, COUNTS)
        else:
            self.plans = TARN.multicast_many(SENDERS, MULTICAST_RECEIVERS, COUNTS, SCHEDULE_OFFSETS)
        self.rows = (self.plans.sender_rows, self.plans.receiver_rows)

    def check(self, rows: object) -> np.ndarray:
        if self.paired:
            return TARN.check_paired_multicast_many(SENDERS, PAIRED_RECEIVERS, COUNTS, rows=rows)
        return TARN.check_multicast_many(SENDERS, MULTICAST_RECEIVERS, COUNTS, SCHEDULE_OFFSETS, rows=rows)

    def flip(self, request: int, row: int, word: int, bit: int) -> object:
        senders, receivers = (array.copy() for array in self.rows)
        listed = self.plans.receiver_offsets[request + 1] - self.plans.receiver_offsets[request]
        row %= listed + 1
        if row == 0:
            senders[request, word] ^= 1 << bit
        else:
            receivers[self.plans.receiver_offsets[request] + row - 1, word] ^= 1 << bit
        return senders, receivers

    def transformed(self, transform) -> object:
        return tuple(transform(array) for array in self.rows)


KINDS = {"point_to_point": PointToPoint, "multicast": lambda: Multicast(False),
         "paired_multicast": lambda: Multicast(True)}


@functools.cache
def planned(name: str):
    return KINDS[name]()


@pytest.fixture(params=list(KINDS))
def kind(request):
    return planned(request.param)


def test_the_planners_rows_pass_and_refused_requests_fail(kind):
    verdicts = kind.check(kind.rows)
    assert verdicts.dtype == np.bool_ and verdicts.shape == (len(SENDERS),)
    assert verdicts.tolist() == kind.plans.ok.tolist()
    assert not kind.plans.ok.all() and kind.plans.ok.sum() >= 3  # both verdicts are tried


@pytest.mark.parametrize("name", list(KINDS))
@SETTINGS
@given(st.integers(0, len(SENDERS) - 1), st.integers(0, 4), st.integers(0, 8), st.integers(0, 31))
def test_a_flipped_bit_fails_its_request_only(name, request, row, word, bit):
    kind = planned(name)
    hypothesis.assume(kind.plans.ok[request])
    expected = kind.plans.ok.copy()
    expected[request] = False
    assert kind.check(kind.flip(request, row, word, bit)).tolist() == expected.tolist()


# Every form of rows a caller may hold: views, read-only, Fortran order, other integer types.
TRANSFORMS = {
    "read-only": lambda array: _read_only(array.copy()),
    "fortran order": np.asfortranarray,
    "strided view": lambda array: np.repeat(array, 2, axis=0)[::2],
    "int64": lambda array: array.astype(np.int64),
    "uint64": lambda array: array.astype(np.uint64),
    "int32 of small words": lambda array: (array & 0x7FFFFFFF).astype(np.int32),
    "nested lists": lambda array: array.tolist(),
}


def _read_only(array):
    array.flags.writeable = False
    return array


@pytest.mark.parametrize("transform", list(TRANSFORMS))
def test_rows_in_any_integer_form_are_read_as_given(kind, transform):
    rows = kind.transformed(TRANSFORMS[transform])
    expected = kind.plans.ok.copy()
    if transform == "int32 of small words":
        # Cutting the top bit of every word changes every plan that has one set.
        expected = kind.check(kind.transformed(lambda array: array & 0x7FFFFFFF))
    assert kind.check(rows).tolist() == expected.tolist()


@pytest.mark.parametrize("paired", [False, True])
def test_a_window_of_a_flat_receiver_array_is_checked_where_the_planners_read_it(paired):
    # Offsets that do not start at 0: receivers before the first request's are not the requests'.
    lists = PAIRED_RECEIVERS if paired else MULTICAST_RECEIVERS
    flat = np.array([9, 9, 9] + [tile for listed in lists for tile in listed] + [9])
    offsets = np.cumsum([3] + [len(listed) for listed in lists])
    if paired:
        plans = TARN.paired_multicast_many(SENDERS, flat, COUNTS, receiver_offsets=offsets)
        verdicts = TARN.check_paired_multicast_many(SENDERS, flat, COUNTS, receiver_offsets=offsets,
                                                    rows=(plans.sender_rows, plans.receiver_rows))
    else:
        plans = TARN.multicast_many(SENDERS, flat, COUNTS, SCHEDULE_OFFSETS, receiver_offsets=offsets)
        verdicts = TARN.check_multicast_many(SENDERS, flat, COUNTS, SCHEDULE_OFFSETS, receiver_offsets=offsets,
                                             rows=(plans.sender_rows, plans.receiver_rows))
    assert verdicts.tolist() == plans.ok.tolist() and plans.ok.any()


def test_one_value_stands_for_every_request_and_no_request_gives_no_verdict():
    plans = TARN.point_to_point_many(0, [2, 3, 4], 100)
    assert TARN.check_point_to_point_many(0, [2, 3, 4], 100, plans.rows).tolist() == [True] * 3
    assert TARN.check_point_to_point_many(0, [2, 3, 4], [100, 101, 100], plans.rows).tolist() == [True, False, True]
    assert TARN.check_point_to_point_many(0, 2, 100, np.empty((0, 2, 9), np.uint32)).shape == (0,)
    assert TARN.check_multicast_many(0, [], 100, rows=([], [])).shape == (0,)
    assert TARN.check_paired_multicast_many(0, [[2, 3]], 1, rows=([[0] * 9], [[0] * 9] * 2)).tolist() == [False]


P2P_ROWS = TARN.point_to_point_many(SENDERS, POINT_TO_POINT_RECEIVERS, COUNTS).rows
MULTICAST_PLANS = TARN.multicast_many(SENDERS, MULTICAST_RECEIVERS, COUNTS, SCHEDULE_OFFSETS)
MULTICAST_ROWS = (MULTICAST_PLANS.sender_rows, MULTICAST_PLANS.receiver_rows)


def _with(array, index, value, dtype=object):
    changed = array.astype(dtype)
    changed[index] = value
    return changed


def check_p2p(rows, senders=SENDERS, receivers=POINT_TO_POINT_RECEIVERS, counts=COUNTS):
    return TARN.check_point_to_point_many(senders, receivers, counts, rows)


def check_multicast(rows, senders=SENDERS, receivers=MULTICAST_RECEIVERS, receiver_offsets=None):
    return TARN.check_multicast_many(senders, receivers, COUNTS, SCHEDULE_OFFSETS, rows=rows,
                                     receiver_offsets=receiver_offsets)


# One row per refusal: the call, the exception, and the message that names the argument.
BAD_ARGUMENTS = [
    (lambda: check_p2p(_with(P2P_ROWS, (3, 1, 4), True)), TypeError, r"rows\[3\]\[1\]\[4\] must be an int"),
    (lambda: check_p2p(P2P_ROWS.astype(bool)), TypeError, r"rows\[0\]\[0\]\[0\] must be an int, not bool"),
    (lambda: check_p2p(_with(P2P_ROWS, (2, 0, 8), 1.0)), TypeError, r"rows\[2\]\[0\]\[8\] must be an int"),
    (lambda: check_p2p(P2P_ROWS.astype(np.float64)), TypeError, r"rows\[0\]\[0\]\[0\] must be an int, not float"),
    (lambda: check_p2p(_with(P2P_ROWS, (1, 1, 2), -1, np.int64)), ValueError,
     r"rows\[1\]\[1\]\[2\] must be within 0..4294967295, not -1"),
    (lambda: check_p2p(_with(P2P_ROWS, (5, 0, 0), 1 << 32, np.uint64)), ValueError,
     r"rows\[5\]\[0\]\[0\] must be within 0..4294967295, not 4294967296"),
    (lambda: check_p2p(_with(P2P_ROWS, (5, 0, 0), 1 << 70)), ValueError, r"rows\[5\]\[0\]\[0\] must be within"),
    (lambda: check_p2p(P2P_ROWS[:, :, :8]), ValueError, r"rows must have shape \(n, 2, 9\), not \(6, 2, 8\)"),
    (lambda: check_p2p(P2P_ROWS[:, 0]), ValueError, r"rows must have shape \(n, 2, 9\), not \(6, 9\)"),
    (lambda: check_p2p(None), ValueError, r"rows must have shape \(n, 2, 9\)"),
    (lambda: check_p2p([[[0] * 9, [0] * 8]]), ValueError, r"rows must have shape \(n, 2, 9\)"),
    (lambda: check_p2p(P2P_ROWS[:5]), ValueError, r"differ in length \(senders: 6, .*rows: 5\)"),
    (lambda: check_p2p(P2P_ROWS[:1]), ValueError, r"rows has 1 requests' rows for 6 requests"),
    (lambda: check_p2p(P2P_ROWS, senders=[0, 1.5, 2, 3, 4, 5]), TypeError, r"senders\[1\] must be an int"),
    (lambda: check_p2p(P2P_ROWS, receivers=[0, 1, 2, 3, 65536, 5]), ValueError, r"receivers\[4\] must be within"),
    (lambda: check_p2p(P2P_ROWS, counts=[1, 2, 3, -4, 5, 6]), ValueError, r"counts\[3\] must be within"),
    (lambda: check_multicast(list(MULTICAST_ROWS)), TypeError, r"rows must be a pair"),
    (lambda: check_multicast(MULTICAST_ROWS[0]), TypeError, r"rows must be a pair"),
    (lambda: check_multicast((MULTICAST_ROWS[0][:5], MULTICAST_ROWS[1])), ValueError,
     r"rows\[0\] has 5 sender rows for 6 requests"),
    (lambda: check_multicast((MULTICAST_ROWS[0], MULTICAST_ROWS[1][1:])), ValueError,
     r"rows\[1\] has 9 receiver rows for 10 receivers"),
    (lambda: check_multicast((MULTICAST_ROWS[0], _with(MULTICAST_ROWS[1], (9, 3), True))), TypeError,
     r"rows\[1\]\[9\]\[3\] must be an int"),
    (lambda: check_multicast((_with(MULTICAST_ROWS[0], (4, 1), -2, np.int8), MULTICAST_ROWS[1])), ValueError,
     r"rows\[0\]\[4\]\[1\] must be within"),
    (lambda: check_multicast((MULTICAST_ROWS[0][:, None], MULTICAST_ROWS[1])), ValueError,
     r"rows\[0\] must have shape \(n, 9\), not \(6, 1, 9\)"),
    (lambda: check_multicast(MULTICAST_ROWS, receivers=[[2, 1], [736], [0], [2], [3], [7, 70000]]), ValueError,
     r"receivers\[5\]\[1\] must be within"),
    (lambda: check_multicast(MULTICAST_ROWS, senders=[0, 1, 2]), ValueError, r"senders has 3 entries"),
    (lambda: check_multicast(MULTICAST_ROWS, receivers=np.arange(10), receiver_offsets=[0, 2, 1, 5, 7, 9, 10]),
     ValueError, r"receiver_offsets\[2\] must not be below receiver_offsets\[1\]"),
    (lambda: TARN.check_paired_multicast_many(SENDERS, PAIRED_RECEIVERS, COUNTS, rows=None), TypeError,
     r"rows must be a pair"),
]


@pytest.mark.parametrize("call, exception, message", BAD_ARGUMENTS)
def test_bad_arguments_are_refused_by_name(call, exception, message):
    with pytest.raises(exception, match=message):
        call()
