"""Exchange plans for the many-tile processor, from Python.

A pure Python package over the library's C interface: no compiler is needed to
use it. Topologies plan exchanges; each plan is a set of nine-word instruction
rows, each row a tuple of ints.

    >>> import vorl_exchange
    >>> tarn = vorl_exchange.Topology.tarn()
    >>> plan = tarn.point_to_point(0, 2, 1)
    >>> [f"{word:08x}" for word in plan.sender[:4]]
    ['41800003', '40a0008e', '78000001', '43a00000']
"""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import Iterable, Optional, Tuple

from . import _library, _native

__all__ = ["ExchangeError", "MulticastPlan", "Plan", "Row", "Topology", "__version__", "describe"]

__version__: str = _library.VERSION

Row = Tuple[int, int, int, int, int, int, int, int, int]

_TILE_MAX = 0xFFFF
_U32_MAX = 0xFFFFFFFF


class ExchangeError(Exception):
    """A plan the library refused; `str()` is the display text."""

    kind: str
    debug: str
    reason: Optional[str]

    def __init__(self, display: str, kind: str, debug: str, reason: Optional[str]) -> None:
        super().__init__(display)
        self.kind = kind
        self.debug = debug
        self.reason = reason


@dataclass(frozen=True)
class Plan:
    """A point-to-point plan: the sender's row and the receiver's."""

    sender: Row
    receiver: Row


@dataclass(frozen=True)
class MulticastPlan:
    """A multicast plan: the sender's row and one row per receiver, in the order given."""

    sender: Row
    receivers: list[Row]


def _checked_int(name: str, value: object, maximum: int) -> int:
    # bool is an int subclass, but True as a tile number is a mistake, not a 1.
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not 0 <= value <= maximum:
        raise ValueError(f"{name} must be within 0..{maximum}, not {value}")
    return value


def _tile_array(name: str, tiles: Iterable[int]) -> ctypes.Array[ctypes.c_uint16]:
    try:
        listed = list(tiles)
    except TypeError:
        raise TypeError(f"{name} must be an iterable of ints, not {type(tiles).__name__}") from None
    checked = [_checked_int(f"{name}[{index}]", tile, _TILE_MAX) for index, tile in enumerate(listed)]
    return (ctypes.c_uint16 * len(checked))(*checked)


def _row(row: _native.Row) -> Row:
    return tuple(row.words)  # type: ignore[return-value]


def _raise_failure(error: _native.Error) -> None:
    """Raises what a failed call's error value says."""
    display = _native.read_text(_native.lib.vx_error_display, ctypes.byref(error))
    if error.status == _native.EXCHANGE_ERROR:
        kind = _native.lib.vx_error_kind_name(error.kind).decode("ascii")
        debug = _native.read_text(_native.lib.vx_error_debug, ctypes.byref(error))
        reason = None
        if kind == "Schedule":
            reason = _native.lib.vx_schedule_reason_text(error.reason).decode("ascii")
        raise ExchangeError(display, kind, debug, reason)
    if error.status == _native.TOPOLOGY_REFUSED:
        raise ValueError(display)
    if error.status == _native.OUT_OF_MEMORY:
        raise MemoryError(display)
    # Arguments are checked before every call, and receiver buffers are sized
    # to the plan, so no other status can come back.
    raise RuntimeError(f"vorl_exchange: unexpected failure of the C interface: {display}")


class Topology:
    """Logical-to-physical tile numbering, and the planners that work on it.

    Planning only reads the topology, so threads may share one.
    """

    __slots__ = ("_handle",)
    # Held by the class, so that a topology collected while the interpreter
    # shuts down still finds it.
    _free = _native.lib.vx_topology_free

    def __init__(self, table: Iterable[int]) -> None:
        """A topology over a table of physical identifiers indexed by logical tile.

        A table the library refuses (more than 65536 entries, or an identifier
        above 0x7ff) raises ValueError with the refusal's text.
        """
        self._handle = ctypes.c_void_p()
        identifiers = _tile_array("table", table)
        error = _native.Error()
        status = _native.lib.vx_topology_from_table(
            identifiers, len(identifiers), ctypes.byref(self._handle), ctypes.byref(error)
        )
        if status != _native.OK:
            _raise_failure(error)

    @classmethod
    def tarn(cls) -> Topology:
        """The 1472-tile configuration."""
        topology = cls.__new__(cls)
        topology._handle = ctypes.c_void_p()
        error = _native.Error()
        if _native.lib.vx_topology_tarn(ctypes.byref(topology._handle), ctypes.byref(error)) != _native.OK:
            _raise_failure(error)
        return topology

    def __del__(self) -> None:
        handle = getattr(self, "_handle", None)
        if handle:
            self._free(handle)

    def physical(self, logical: int) -> int:
        """The physical identifier of a logical tile."""
        return self._look_up(_native.lib.vx_topology_physical, logical)

    def paired_logical(self, logical: int) -> int:
        """The logical tile whose physical identifier differs in the lane bit alone."""
        return self._look_up(_native.lib.vx_topology_paired_logical, logical)

    def point_to_point(self, sender: int, receiver: int, count: int) -> Plan:
        """One sender, one receiver, `count` words."""
        sender = _checked_int("sender", sender, _TILE_MAX)
        receiver = _checked_int("receiver", receiver, _TILE_MAX)
        count = _checked_int("count", count, _U32_MAX)
        sender_row, receiver_row, error = _native.Row(), _native.Row(), _native.Error()
        status = _native.lib.vx_point_to_point(
            self._handle, sender, receiver, count, ctypes.byref(sender_row), ctypes.byref(receiver_row),
            ctypes.byref(error),
        )
        if status != _native.OK:
            _raise_failure(error)
        return Plan(_row(sender_row), _row(receiver_row))

    def multicast(self, sender: int, receivers: Iterable[int], count: int, schedule_offset: int = 0) -> MulticastPlan:
        """One sender, several receivers on one timeline, started `schedule_offset` cycles late."""
        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        schedule_offset = _checked_int("schedule_offset", schedule_offset, _U32_MAX)
        return self._plan_multicast(_native.lib.vx_multicast, sender, listed, count, schedule_offset)

    def paired_multicast(self, sender: int, receivers: Iterable[int], count: int) -> MulticastPlan:
        """One sender, receivers in whole pairs receiving in the paired mode."""
        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        return self._plan_multicast(_native.lib.vx_paired_multicast, sender, listed, count)

    def _look_up(self, function: object, logical: int) -> int:
        logical = _checked_int("logical", logical, _TILE_MAX)
        out, error = ctypes.c_uint16(), _native.Error()
        if function(self._handle, logical, ctypes.byref(out), ctypes.byref(error)) != _native.OK:  # type: ignore[operator]
            _raise_failure(error)
        return out.value

    def _plan_multicast(
        self, function: object, sender: int, receivers: ctypes.Array[ctypes.c_uint16], *numbers: int
    ) -> MulticastPlan:
        # A plan has one receiver row per receiver, so this buffer always fits.
        sender_row, error = _native.Row(), _native.Error()
        receiver_rows = (_native.Row * len(receivers))()
        planned = ctypes.c_size_t()
        status = function(  # type: ignore[operator]
            self._handle, sender, receivers, len(receivers), *numbers, ctypes.byref(sender_row), receiver_rows,
            len(receivers), ctypes.byref(planned), ctypes.byref(error),
        )
        if status != _native.OK:
            _raise_failure(error)
        return MulticastPlan(_row(sender_row), [_row(row) for row in receiver_rows[: planned.value]])


def describe(word: int) -> str:
    """One readable line for an instruction word, e.g. "send count=64 base_word=0 control=1"."""
    word = _checked_int("word", word, _U32_MAX)
    return _native.read_text(_native.lib.vx_describe, word)
