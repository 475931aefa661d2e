"""Exchange plans for the many-tile processor, from Python.

A pure Python package over the library's C interface: no compiler is needed to
use it. Topologies plan exchanges; each plan is a set of nine-word instruction
rows, each row a tuple of ints. The bulk calls (`Topology.point_to_point_many`,
`multicast_many`, `paired_multicast_many`) plan many requests per call into
NumPy arrays; they need NumPy (Debian package python3-numpy), nothing else does.

    >>> import vorl_exchange
    >>> tarn = vorl_exchange.Topology.tarn()
    >>> plan = tarn.point_to_point(0, 2, 1)
    >>> [f"{word:08x}" for word in plan.sender[:4]]
    ['41800003', '40a0008e', '78000001', '43a00000']
"""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Iterable, Optional, Sequence, Tuple

from . import _library, _native

if TYPE_CHECKING:
    from ._bulk import MulticastPlans, PointToPointPlans

__all__ = [
    "ExchangeError", "MulticastPlan", "MulticastPlans", "Plan", "PointToPointPlans", "Row", "Topology",
    "__version__", "describe",
]

__version__: str = _library.VERSION

Row = Tuple[int, int, int, int, int, int, int, int, int]

_TILE_MAX = 0xFFFF
_U32_MAX = 0xFFFFFFFF


class ExchangeError(Exception):
    """A plan the library refused; `str()` is the display text.

    Attributes:
        kind: the variant's name, e.g. "Tile" or "Schedule".
        debug: the debug form, e.g. "Tile(7812)".
        reason: for kind "Schedule", the reason's text (e.g. "sender delay"), else None.
    """

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
    """A point-to-point plan: the sender's row and the receiver's, each a tuple of nine ints."""

    sender: Row
    receiver: Row


@dataclass(frozen=True)
class MulticastPlan:
    """A multicast plan: the sender's row and a list of one row per receiver, in the order given."""

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


def _failure(error: _native.Error) -> Exception:
    """The exception a failed call's error value stands for (the single and the bulk calls share it)."""
    display = _native.read_text(_native.lib.vx_error_display, ctypes.byref(error))
    if error.status == _native.EXCHANGE_ERROR:
        kind = _native.lib.vx_error_kind_name(error.kind).decode("ascii")
        debug = _native.read_text(_native.lib.vx_error_debug, ctypes.byref(error))
        reason = None
        if kind == "Schedule":
            reason = _native.lib.vx_schedule_reason_text(error.reason).decode("ascii")
        return ExchangeError(display, kind, debug, reason)
    if error.status == _native.TOPOLOGY_REFUSED:
        return ValueError(display)
    if error.status == _native.OUT_OF_MEMORY:
        return MemoryError(display)
    # Arguments are checked before every call, and receiver buffers are sized
    # to the plan, so no other status can come back.
    return RuntimeError(f"vorl_exchange: unexpected failure of the C interface: {display}")


def _raise_failure(error: _native.Error) -> None:
    raise _failure(error)


def _bulk_planners() -> Any:
    """The bulk planners' module, which needs NumPy."""
    try:
        from . import _bulk as module
    except ImportError as failure:
        if failure.name != "numpy":
            raise
        raise ImportError(
            "vorl_exchange: the bulk calls need NumPy; install the Debian package python3-numpy "
            "(or NumPy from PyPI into a virtual environment)", name="numpy") from failure
    return module


def __getattr__(name: str) -> Any:
    # The bulk result types live beside NumPy and are loaded with it.
    if name in ("PointToPointPlans", "MulticastPlans"):
        return getattr(_bulk_planners(), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


class Topology:
    """Logical-to-physical tile numbering, and the planners that work on it.

    Planning only reads the topology, so threads may share one. `len()` is the
    number of logical tiles. Tile numbers, counts and offsets must be ints
    (TypeError otherwise) within 0..65535 for tiles and 0..2**32-1 for counts
    and offsets (ValueError otherwise); a plan the library refuses raises
    ExchangeError.
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
        """Returns the 1472-tile configuration. Raises MemoryError only when memory runs out."""
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

    @property
    def tile_count(self) -> int:
        """The number of logical tiles."""
        return int(_native.lib.vx_topology_tile_count(self._handle))

    def __len__(self) -> int:
        """The number of logical tiles, as `tile_count`."""
        return self.tile_count

    def __repr__(self) -> str:
        return f"<vorl_exchange.Topology of {self.tile_count} tiles>"

    def physical(self, logical: int) -> int:
        """Returns the physical identifier of a logical tile.

        Raises ExchangeError (kind "Tile") for a tile beyond the topology.
        """
        return self._look_up(_native.lib.vx_topology_physical, logical)

    def paired_logical(self, logical: int) -> int:
        """Returns the logical tile whose physical identifier differs in the lane bit alone.

        Raises ExchangeError (kind "Tile") when the tile or its partner is not in the topology.
        """
        return self._look_up(_native.lib.vx_topology_paired_logical, logical)

    def are_partners(self, first: int, second: int) -> bool:
        """Returns whether each of the two tiles is the other's `paired_logical`.

        False for tiles beyond the topology; raises only for arguments that are
        not tile numbers (TypeError, ValueError).
        """
        first = _checked_int("first", first, _TILE_MAX)
        second = _checked_int("second", second, _TILE_MAX)
        return bool(_native.lib.vx_are_partners(self._handle, first, second))

    def paired_receiver_is_early(self, receiver: int, sender: int) -> bool:
        """Returns whether `receiver` is the early tile of its pair in a paired multicast from `sender`.

        Early: its mux time from the sender is smaller than its partner's.
        Raises ExchangeError (kind "Tile") when a tile or the receiver's partner is not in the topology.
        """
        receiver = _checked_int("receiver", receiver, _TILE_MAX)
        sender = _checked_int("sender", sender, _TILE_MAX)
        early, error = ctypes.c_int(), _native.Error()
        if _native.lib.vx_paired_receiver_is_early(
                self._handle, receiver, sender, ctypes.byref(early), ctypes.byref(error)) != _native.OK:
            _raise_failure(error)
        return bool(early.value)

    def check(self, kind: str, sender: int, receivers: Iterable[int], count: int, rows: Iterable[Sequence[int]],
              schedule_offset: int = 0) -> bool:
        """Whether `rows` (the sender's row, then one per receiver) are exactly the plan of this request.

        `kind` is "point_to_point", "multicast" or "paired_multicast". Every
        word and field is compared with what the route timing and the row
        formats give, without running a planner; a request the planners refuse
        gives False. Raises TypeError or ValueError for arguments out of range.
        """
        from . import _check

        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        schedule_offset = _checked_int("schedule_offset", schedule_offset, _U32_MAX)
        return _check.check(self._handle, kind, sender, listed, count, rows, schedule_offset)

    def multicast_offset_limit(self, sender: int, receivers: Iterable[int], count: int) -> int:
        """Returns the largest `schedule_offset` at which `multicast` plans with these arguments.

        Every offset from 0 to the limit plans and none above it. Raises the
        ExchangeError `multicast` raises at offset 0 when no offset plans.
        """
        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        limit, error = ctypes.c_uint32(), _native.Error()
        status = _native.lib.vx_multicast_offset_limit(
            self._handle, sender, listed, len(listed), count, ctypes.byref(limit), ctypes.byref(error))
        if status != _native.OK:
            _raise_failure(error)
        return limit.value

    def point_to_point(self, sender: int, receiver: int, count: int) -> Plan:
        """Returns the Plan of one sender sending `count` words to one receiver.

        Raises ExchangeError when the library refuses the plan.
        """
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
        """Returns the MulticastPlan of one sender to several receivers on one timeline.

        The exchange starts `schedule_offset` cycles after the earliest start.
        Raises ExchangeError when the library refuses the plan.
        """
        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        schedule_offset = _checked_int("schedule_offset", schedule_offset, _U32_MAX)
        return self._plan_multicast(_native.lib.vx_multicast, sender, listed, count, schedule_offset)

    def paired_multicast(self, sender: int, receivers: Iterable[int], count: int) -> MulticastPlan:
        """Returns the MulticastPlan of one sender to receivers in whole pairs receiving in the paired mode.

        Raises ExchangeError when the library refuses the plan.
        """
        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        return self._plan_multicast(_native.lib.vx_paired_multicast, sender, listed, count)

    def point_to_point_many(self, senders: object, receivers: object, counts: object) -> PointToPointPlans:
        """Returns a PointToPointPlans: many point-to-point requests planned in one library call.

        Arguments are one-dimensional array-likes of ints of one length (an
        array of one element, or a scalar, stands for every request). Result:
        `rows` (uint32, shape (n, 2, 9): sender row, receiver row), `ok` (bool
        mask) and `errors()` (each failed request's ExchangeError, equal to the
        single call's). A refused request never stops the others.

        Raises TypeError (non-integer values) or ValueError (values out of
        range, arrays of different lengths) naming the first offending index,
        before anything is planned; ImportError when NumPy is missing.
        """
        return _bulk_planners().point_to_point_many(self, senders, receivers, counts)  # type: ignore[no-any-return]

    def multicast_many(self, senders: object, receivers: object, counts: object, schedule_offsets: object = 0,
                       *, receiver_offsets: object = None) -> MulticastPlans:
        """Returns a MulticastPlans: many multicast requests planned in one library call.

        `receivers` is a sequence of receiver lists, one per request; or, with
        `receiver_offsets` (n + 1 nondecreasing ints), one flat array in which
        request i names receivers[receiver_offsets[i]:receiver_offsets[i + 1]]
        (the faster form: no Python object per request). `senders`, `counts`
        and `schedule_offsets` are array-likes of n ints, or one value for all.
        Result: `sender_rows`, `receiver_rows`, `receiver_offsets`, `ok`,
        `errors()`; see MulticastPlans.

        Raises TypeError or ValueError naming the first offending index, before
        anything is planned; ImportError when NumPy is missing.
        """
        return _bulk_planners().multicast_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, schedule_offsets, receiver_offsets)

    def paired_multicast_many(self, senders: object, receivers: object, counts: object, *,
                              receiver_offsets: object = None) -> MulticastPlans:
        """Returns a MulticastPlans: many paired multicast requests planned in one library call.

        Arguments and result as for `multicast_many`, without schedule offsets.
        Raises as `multicast_many` does.
        """
        return _bulk_planners().paired_multicast_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, receiver_offsets)

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
    """Returns one readable line for an instruction word, e.g. "send count=64 base_word=0 control=1".

    Raises TypeError for a non-int, ValueError for a word outside 0..2**32-1.
    """
    word = _checked_int("word", word, _U32_MAX)
    return _native.read_text(_native.lib.vx_describe, word)
