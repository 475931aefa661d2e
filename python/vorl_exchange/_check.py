"""Checking rows that came from elsewhere against the plan the planners make.

`Topology.check` calls `check` here: the library works out, from the route
timing and the row formats alone, every word a correct plan holds and compares
every field of every word. `vorl-plan check` names the fact that fails.
"""

from __future__ import annotations

import ctypes
from typing import Iterable, Sequence

from . import _native

# The exchange kinds, named as the batch protocol and plan documents name them.
KINDS = ("point_to_point", "multicast", "paired_multicast")

_U16 = ctypes.c_uint16
_U32 = ctypes.c_uint32
_ROW_P = ctypes.POINTER(_native.Row)
_SIGNATURES = {
    "vx_check_point_to_point": [ctypes.c_void_p, _U16, _U16, _U32, _ROW_P, _ROW_P, ctypes.POINTER(ctypes.c_int),
                                ctypes.POINTER(_native.Error)],
    "vx_check_multicast": [ctypes.c_void_p, _U16, ctypes.POINTER(_U16), ctypes.c_size_t, _U32, _U32, _ROW_P, _ROW_P,
                           ctypes.POINTER(ctypes.c_int), ctypes.POINTER(_native.Error)],
    "vx_check_paired_multicast": [ctypes.c_void_p, _U16, ctypes.POINTER(_U16), ctypes.c_size_t, _U32, _ROW_P,
                                  _ROW_P, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(_native.Error)],
}
for _name, _arguments in _SIGNATURES.items():
    _function = getattr(_native.lib, _name)
    _function.restype = ctypes.c_int
    _function.argtypes = _arguments


def _rows(rows: Iterable[Sequence[int]]) -> ctypes.Array[_native.Row]:
    listed = [list(row) for row in rows]
    array = (_native.Row * len(listed))()
    for index, row in enumerate(listed):
        if len(row) != _native.ROW_LENGTH:
            raise ValueError(f"rows[{index}] must hold {_native.ROW_LENGTH} words, not {len(row)}")
        for word_index, word in enumerate(row):
            if isinstance(word, bool) or not isinstance(word, int) or not 0 <= word <= 0xFFFFFFFF:
                raise ValueError(f"rows[{index}][{word_index}] must be an int within 0..4294967295, not {word!r}")
            array[index].words[word_index] = word
    return array


def check(handle: ctypes.c_void_p, kind: str, sender: int, receivers: ctypes.Array[ctypes.c_uint16], count: int,
          rows: Iterable[Sequence[int]], schedule_offset: int) -> bool:
    """Whether `rows` (the sender's, then one per receiver) are the planners' plan for the request."""
    if kind not in KINDS:
        raise ValueError(f"kind must be one of {', '.join(KINDS)}, not {kind!r}")
    if kind == "point_to_point" and len(receivers) != 1:
        raise ValueError(f"a point_to_point request names one receiver, not {len(receivers)}")
    words = _rows(rows)
    if len(words) != len(receivers) + 1:
        return False  # a row too many or too few is no plan
    holds, error = ctypes.c_int(), _native.Error()
    receiver_rows = ctypes.cast(ctypes.byref(words, ctypes.sizeof(_native.Row)), _ROW_P)
    if kind == "point_to_point":
        status = _native.lib.vx_check_point_to_point(
            handle, sender, receivers[0], count, words[0], receiver_rows, ctypes.byref(holds), ctypes.byref(error))
    elif kind == "multicast":
        status = _native.lib.vx_check_multicast(
            handle, sender, receivers, len(receivers), count, schedule_offset, words[0], receiver_rows,
            ctypes.byref(holds), ctypes.byref(error))
    else:
        status = _native.lib.vx_check_paired_multicast(
            handle, sender, receivers, len(receivers), count, words[0], receiver_rows, ctypes.byref(holds),
            ctypes.byref(error))
    if status != _native.OK:
        raise MemoryError("vorl_exchange: the check ran out of memory")
    return bool(holds.value)
