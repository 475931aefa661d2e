"""Topology.check: the planners' rows pass, and any edited word or request is refused."""

from __future__ import annotations

import pytest

from vorl_exchange import Topology

TARN = Topology.tarn()

PLANS = [
    ("point_to_point", 0, [2], 100, 0, lambda: TARN.point_to_point(0, 2, 100)),
    ("multicast", 0, [2, 1], 7, 10, lambda: TARN.multicast(0, [2, 1], 7, 10)),
    ("paired_multicast", 0, [2, 3], 4148, 0, lambda: TARN.paired_multicast(0, [2, 3], 4148)),
]


def rows_of(plan):
    return [plan.sender, plan.receiver] if hasattr(plan, "receiver") else [plan.sender, *plan.receivers]


@pytest.mark.parametrize("kind, sender, receivers, count, offset, make", PLANS)
def test_planned_rows_pass_and_every_flipped_bit_fails(kind, sender, receivers, count, offset, make):
    rows = rows_of(make())
    assert TARN.check(kind, sender, receivers, count, rows, offset)
    for row in range(len(rows)):
        for word in range(9):
            for bit in range(32):
                edited = [list(each) for each in rows]
                edited[row][word] ^= 1 << bit
                assert not TARN.check(kind, sender, receivers, count, edited, offset), (row, word, bit)


@pytest.mark.parametrize("kind, sender, receivers, count, offset, make", PLANS)
def test_a_request_that_is_not_the_rows_fails(kind, sender, receivers, count, offset, make):
    rows = rows_of(make())
    assert not TARN.check(kind, sender, receivers, count + 1, rows, offset)
    assert not TARN.check(kind, sender, receivers, count - 1, rows, offset)
    # Another sender passes only where the planners give it the very same rows.
    other = {"point_to_point": lambda: rows_of(TARN.point_to_point(sender + 1, receivers[0], count)),
             "multicast": lambda: rows_of(TARN.multicast(sender + 1, receivers, count, offset)),
             "paired_multicast": lambda: rows_of(TARN.paired_multicast(sender + 1, receivers, count))}[kind]()
    assert TARN.check(kind, sender + 1, receivers, count, rows, offset) == ([list(r) for r in other] == [list(r) for r in rows])
    assert not TARN.check(kind, sender, receivers, count, rows[:-1], offset)  # a row too few
    if kind == "multicast":
        assert not TARN.check(kind, sender, receivers, count, rows, offset + 1)


def test_arguments_out_of_range_raise():
    rows = rows_of(TARN.point_to_point(0, 2, 1))
    with pytest.raises(ValueError, match="kind must be one of"):
        TARN.check("p2p", 0, [2], 1, rows)
    with pytest.raises(ValueError, match="names one receiver"):
        TARN.check("point_to_point", 0, [2, 3], 1, rows + [rows[1]])
    with pytest.raises(ValueError, match=r"rows\[1\] must hold 9 words"):
        TARN.check("point_to_point", 0, [2], 1, [rows[0], rows[1][:8]])
    with pytest.raises(ValueError, match=r"rows\[0\]\[0\] must be an int"):
        TARN.check("point_to_point", 0, [2], 1, [[-1] * 9, rows[1]])
    with pytest.raises(TypeError):
        TARN.check("point_to_point", "0", [2], 1, rows)
