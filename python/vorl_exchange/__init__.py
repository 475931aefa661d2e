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

import array
import ctypes
import enum
import operator
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Callable, Dict, Iterable, Optional, Sequence, Tuple

from . import _library, _native

if TYPE_CHECKING:
    import numpy as np

    from ._bulk import MulticastPlans, PointToPointPlans

__all__ = [
    "ErrorKind", "ExchangeError", "MulticastPlan", "MulticastPlans", "Plan", "PointToPointPlans", "Row", "Topology",
    "__version__", "describe", "multicast_out", "point_to_point_out",
]

__version__: str = _library.VERSION

Row = Tuple[int, int, int, int, int, int, int, int, int]

_TILE_MAX = 0xFFFF
_U32_MAX = 0xFFFFFFFF


def _error_kinds() -> list[tuple[str, int]]:
    """The library's variants of ExchangeError, by name and number, as the C interface lists them."""
    kinds = []
    while (name := _native.lib.vx_error_kind_name(len(kinds))) is not None:
        kinds.append((name.decode("ascii"), len(kinds)))
    return kinds


# Made from the library's own list, so the numbers cannot drift from it.
ErrorKind = enum.IntEnum("ErrorKind", _error_kinds(), module=__name__)  # type: ignore[misc]
ErrorKind.__doc__ = """The variants of ExchangeError, numbered as the library numbers them.

    `ErrorKind[error.kind]` is an error's number (`ErrorKind.Tile` is 1); the
    bulk results' `kinds` arrays hold these numbers, and -1 for a request that
    planned.
    """


class ExchangeError(Exception):
    """A plan the library refused; `str()` is the display text.

    Attributes:
        kind: the variant's name, e.g. "Tile" or "Schedule" (`ErrorKind[kind]` is its number).
        debug: the debug form, e.g. "Tile(7812)".
        reason: for kind "Schedule", the reason's text (e.g. "sender delay"), else None.
        rule: for kind "ReceiverSet", the rule the receiver list breaks, e.g.
            "Repeated" or "OddCount" (the names of the library's ReceiverRule), else None.
        entry: for kind "ReceiverSet", the position of the first offending
            receiver in the list, counted from 0; None for a rule of the whole
            list ("EmptyList", "OddCount") and for other kinds.
        tile: the tile at `entry`, or None when `entry` is None.

    Errors are values: two are equal when their texts and attributes are, and
    an error survives `copy`, `pickle` and being sent between processes with
    every attribute it carries.
    """

    kind: str
    debug: str
    reason: Optional[str]
    rule: Optional[str]
    entry: Optional[int]
    tile: Optional[int]

    def __init__(self, display: str, kind: str, debug: str, reason: Optional[str], *, rule: Optional[str] = None,
                 entry: Optional[int] = None, tile: Optional[int] = None) -> None:
        super().__init__(display)
        self.kind = kind
        self.debug = debug
        self.reason = reason
        self.rule = rule
        self.entry = entry
        self.tile = tile

    def __reduce__(self) -> Tuple[Any, ...]:
        # Exception's own reduction passes `args` (the display text alone) to
        # the constructor, which needs more. The instance dict goes along as
        # the state, so attributes set after construction come back as well.
        return type(self), (self.args[0], self.kind, self.debug, self.reason), self.__dict__

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return self.args == other.args and self.__dict__ == other.__dict__  # type: ignore[union-attr]

    def __hash__(self) -> int:
        return hash((type(self), self.args))


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


def _index(name: str, value: object) -> int:
    """`value` as an int, by the rules of `operator.index` (NumPy integers, 0-d integer arrays), bool refused."""
    # bool is an int subclass, and NumPy's bool still converts, but True as a
    # tile number is a mistake, not a 1.
    if isinstance(value, bool) or getattr(getattr(value, "dtype", None), "kind", None) == "b":
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    try:
        return operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None


def _checked_int(name: str, value: object, maximum: int) -> int:
    # A plain int, by far the commonest argument, skips the general conversion.
    number = value if type(value) is int else _index(name, value)
    if not 0 <= number <= maximum:  # type: ignore[operator]
        raise ValueError(f"{name} must be within 0..{maximum}, not {number}")
    return number  # type: ignore[return-value]


def _tile_array(name: str, tiles: Iterable[int]) -> ctypes.Array[ctypes.c_uint16]:
    if isinstance(tiles, (str, bytes)):
        raise TypeError(f"{name} must be an iterable of ints, not {type(tiles).__name__}")
    try:
        listed = list(tiles)
    except TypeError:
        raise TypeError(f"{name} must be an iterable of ints, not {type(tiles).__name__}") from None
    checked = [_checked_int(f"{name}[{index}]", tile, _TILE_MAX) for index, tile in enumerate(listed)]
    return (ctypes.c_uint16 * len(checked))(*checked)


def _row(row: _native.Row) -> Row:
    return tuple(row.words)  # type: ignore[return-value]


# Asks the library why a receiver list was refused; ExchangeError's keywords.
_ReceiverFaultQuery = Callable[[], Dict[str, Any]]


def _receiver_fault(function: Any, *arguments: object) -> Dict[str, Any]:
    """`rule`, `entry` and `tile` of a refused receiver list, from vx_multicast_receiver_fault or its paired twin."""
    fault, error = _native.ReceiverFault(), _native.Error()
    if function(*arguments, ctypes.byref(fault), ctypes.byref(error)) != _native.OK:
        _raise_failure(error)
    if not fault.refused:
        return {}
    found: Dict[str, Any] = {"rule": _native.lib.vx_receiver_rule_name(fault.rule).decode("ascii")}
    if fault.has_entry:
        found.update(entry=int(fault.entry), tile=int(fault.tile))
    return found


def _failure(error: _native.Error, receiver_fault: Optional[_ReceiverFaultQuery] = None) -> Exception:
    """The exception a failed call's error value stands for (the single and the bulk calls share it).

    `receiver_fault` is asked, only after a refused receiver list, for its rule, entry and tile.
    """
    display = _native.read_text(_native.lib.vx_error_display, ctypes.byref(error))
    if error.status == _native.EXCHANGE_ERROR:
        kind = _native.lib.vx_error_kind_name(error.kind).decode("ascii")
        debug = _native.read_text(_native.lib.vx_error_debug, ctypes.byref(error))
        reason = None
        if kind == "Schedule":
            reason = _native.lib.vx_schedule_reason_text(error.reason).decode("ascii")
        fault = receiver_fault() if kind == "ReceiverSet" and receiver_fault is not None else {}
        return ExchangeError(display, kind, debug, reason, **fault)
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


class _NativeTopology(ctypes.c_void_p):
    """The one owner of a native topology: it frees the topology when the last reference to it goes.

    Being a ctypes pointer, it is passed to the C calls as it is, so the
    argument list of a call holds a reference for as long as the call runs,
    whatever other threads drop meanwhile.
    """

    __slots__ = ()
    # Held by the class, so that an owner collected while the interpreter
    # shuts down still finds it.
    _free = _native.lib.vx_topology_free

    def __del__(self) -> None:
        if self.value:
            self._free(self)

    # Copies would free the one native topology twice; only the owner may.
    def __copy__(self) -> _NativeTopology:
        return self

    def __deepcopy__(self, memo: object) -> _NativeTopology:
        return self

    def __reduce__(self) -> Any:
        raise TypeError("a native topology cannot be pickled; pickle the Topology that holds it")


class Topology:
    """Logical-to-physical tile numbering, and the planners that work on it.

    Immutable: planning only reads the topology, so threads may share one, and
    `copy.copy` and `copy.deepcopy` return the topology itself. A topology
    pickles by its table (`tarn()` by name). `len()` is the number of logical
    tiles. Tile numbers, counts and offsets are ints or anything
    `operator.index` takes, such as NumPy integers (TypeError otherwise, and
    for bool), within 0..65535 for tiles and 0..2**32-1 for counts and offsets
    (ValueError otherwise); a plan the library refuses raises ExchangeError.
    """

    __slots__ = ("_handle", "_table")
    _handle: _NativeTopology
    # The table the topology was made from, for pickling; None for tarn().
    _table: Optional[array.array[int]]

    def __init__(self, table: Iterable[int]) -> None:
        """A topology over a table of physical identifiers indexed by logical tile.

        A table the library refuses (more than 65536 entries, or an identifier
        above 0x7ff) raises ValueError with the refusal's text. Raises
        TypeError when called again on a topology already made.
        """
        identifiers = _tile_array("table", table)
        self._adopt(lambda handle, error: _native.lib.vx_topology_from_table(
            identifiers, len(identifiers), handle, error), array.array("H", identifiers))

    @classmethod
    def tarn(cls) -> Topology:
        """Returns the 1472-tile configuration. Raises MemoryError only when memory runs out."""
        topology = cls.__new__(cls)
        topology._adopt(_native.lib.vx_topology_tarn, None)
        return topology

    def _adopt(self, make: Callable[[Any, Any], int], table: Optional[array.array[int]]) -> None:
        """Makes the native topology through `make(handle, error)` and takes ownership of it, once."""
        if hasattr(self, "_handle"):
            raise TypeError("a Topology is immutable: it cannot be initialised again")
        handle, error = _NativeTopology(), _native.Error()
        if make(ctypes.byref(handle), ctypes.byref(error)) != _native.OK:
            _raise_failure(error)
        object.__setattr__(self, "_handle", handle)
        object.__setattr__(self, "_table", table)

    # A subclass may keep attributes of its own; the native topology stays put.
    def __setattr__(self, name: str, value: object) -> None:
        if name in Topology.__slots__:
            raise AttributeError(f"a Topology is immutable: cannot set {name!r}")
        super().__setattr__(name, value)

    def __delattr__(self, name: str) -> None:
        if name in Topology.__slots__:
            raise AttributeError(f"a Topology is immutable: cannot delete {name!r}")
        super().__delattr__(name)

    def __copy__(self) -> Topology:
        return self

    def __deepcopy__(self, memo: object) -> Topology:
        return self

    def __reduce__(self) -> Any:
        # A subclass's own attributes travel as the state.
        state = getattr(self, "__dict__", None)
        if self._table is None:
            return type(self).tarn, (), state
        return type(self), (self._table,), state

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
        return self._plan_multicast(_native.lib.vx_multicast, self._multicast_receiver_fault, sender, listed, count,
                                    schedule_offset)

    def paired_multicast(self, sender: int, receivers: Iterable[int], count: int) -> MulticastPlan:
        """Returns the MulticastPlan of one sender to receivers in whole pairs receiving in the paired mode.

        Raises ExchangeError when the library refuses the plan.
        """
        sender = _checked_int("sender", sender, _TILE_MAX)
        listed = _tile_array("receivers", receivers)
        count = _checked_int("count", count, _U32_MAX)
        return self._plan_multicast(_native.lib.vx_paired_multicast, self._paired_receiver_fault, sender, listed,
                                    count)

    def point_to_point_many(self, senders: object, receivers: object, counts: object, *, out: object = None,
                            status_out: object = None) -> PointToPointPlans:
        """Returns a PointToPointPlans: many point-to-point requests planned in one library call.

        Arguments are one-dimensional array-likes of ints of one length (an
        array of one element, or a scalar, stands for every request). Result:
        `rows` (uint32, shape (n, 2, 9): sender row, receiver row), `ok` (bool
        mask), `statuses`, `kinds`, `error(i)` and `errors()` (each failed
        request's ExchangeError, equal to the single call's). A refused request
        never stops the others. `out` (uint32, shape (n, 2, 9)) and
        `status_out` (int32, shape (n,)), C-contiguous and writable, receive
        the rows and statuses instead of new arrays.

        Raises TypeError (non-integer values, an `out` of another type or
        dtype) or ValueError (values out of range, arrays of different
        lengths, an `out` of another shape, not contiguous or read-only)
        naming the argument and the first offending index, before anything is
        planned; ImportError when NumPy is missing.
        """
        return _bulk_planners().point_to_point_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, out, status_out)

    def multicast_many(self, senders: object, receivers: object, counts: object, schedule_offsets: object = 0,
                       *, receiver_offsets: object = None, out: object = None,
                       status_out: object = None) -> MulticastPlans:
        """Returns a MulticastPlans: many multicast requests planned in one library call.

        `receivers` is a sequence of receiver lists, one per request; or, with
        `receiver_offsets` (n + 1 nondecreasing ints), one flat array in which
        request i names receivers[receiver_offsets[i]:receiver_offsets[i + 1]]
        (the faster form: no Python object per request). `senders`, `counts`
        and `schedule_offsets` are array-likes of n ints, or one value for all.
        Result: `sender_rows`, `receiver_rows`, `receiver_offsets`, `ok`,
        `statuses`, `kinds`, `error(i)`, `errors()`; see MulticastPlans. `out`
        is a pair of arrays (sender rows: uint32 (n, 9); receiver rows: uint32
        (m, 9), m the number of receivers) and `status_out` an int32 (n,) array
        to write into instead of new arrays.

        Raises TypeError or ValueError naming the argument and the first
        offending index, before anything is planned; ImportError when NumPy is
        missing.
        """
        return _bulk_planners().multicast_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, schedule_offsets, receiver_offsets, out, status_out)

    def paired_multicast_many(self, senders: object, receivers: object, counts: object, *,
                              receiver_offsets: object = None, out: object = None,
                              status_out: object = None) -> MulticastPlans:
        """Returns a MulticastPlans: many paired multicast requests planned in one library call.

        Arguments and result as for `multicast_many`, without schedule offsets.
        Raises as `multicast_many` does.
        """
        return _bulk_planners().paired_multicast_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, receiver_offsets, out, status_out)

    def check_point_to_point_many(self, senders: object, receivers: object, counts: object,
                                  rows: object) -> np.ndarray:
        """Returns a bool array: whether each request's rows are exactly its point-to-point plan.

        Takes what `point_to_point_many` takes and writes: `senders`,
        `receivers`, `counts` as there (one element, or a scalar, stands for
        every request), `rows` of shape (n, 2, 9) (sender row, receiver row
        per request), as `PointToPointPlans.rows` holds them. Verdicts are
        those of `check`, one library call for all requests; a request the
        planners refuse gives False.

        Raises TypeError (non-integer values or words) or ValueError (values
        or words out of range, a wrong shape, arrays of different lengths)
        naming the argument and the first offending index, before anything is
        checked; ImportError when NumPy is missing.
        """
        return _bulk_planners().check_point_to_point_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, rows)

    def check_multicast_many(self, senders: object, receivers: object, counts: object, schedule_offsets: object = 0,
                             *, rows: object, receiver_offsets: object = None) -> np.ndarray:
        """Returns a bool array: whether each request's rows are exactly its multicast plan.

        Requests as `multicast_many` takes them (receiver lists, or a flat
        array with `receiver_offsets`); `rows` is a pair (sender rows (n, 9),
        receiver rows (m, 9)), m the number of receivers of all requests,
        request i's receiver rows following those of the requests before it:
        `(plans.sender_rows, plans.receiver_rows)` of a `MulticastPlans`.
        Raises as `check_point_to_point_many` does.
        """
        return _bulk_planners().check_multicast_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, schedule_offsets, receiver_offsets, rows)

    def check_paired_multicast_many(self, senders: object, receivers: object, counts: object, *, rows: object,
                                    receiver_offsets: object = None) -> np.ndarray:
        """Returns a bool array: whether each request's rows are exactly its paired multicast plan.

        Arguments as for `check_multicast_many`, without schedule offsets.
        Raises as `check_point_to_point_many` does.
        """
        return _bulk_planners().check_paired_multicast_many(  # type: ignore[no-any-return]
            self, senders, receivers, counts, receiver_offsets, rows)

    def _look_up(self, function: object, logical: int) -> int:
        logical = _checked_int("logical", logical, _TILE_MAX)
        out, error = ctypes.c_uint16(), _native.Error()
        if function(self._handle, logical, ctypes.byref(out), ctypes.byref(error)) != _native.OK:  # type: ignore[operator]
            _raise_failure(error)
        return out.value

    def _multicast_receiver_fault(self, sender: int, receivers: ctypes.Array[ctypes.c_uint16]) -> Dict[str, Any]:
        return _receiver_fault(_native.lib.vx_multicast_receiver_fault, self._handle, sender, receivers,
                               len(receivers))

    def _paired_receiver_fault(self, sender: int, receivers: ctypes.Array[ctypes.c_uint16]) -> Dict[str, Any]:
        # The paired rules do not involve the sender; it is taken to match the multicast's query.
        return _receiver_fault(_native.lib.vx_paired_receiver_fault, self._handle, receivers, len(receivers))

    def _plan_multicast(
        self, function: object, receiver_fault: Callable[[int, ctypes.Array[ctypes.c_uint16]], Dict[str, Any]],
        sender: int, receivers: ctypes.Array[ctypes.c_uint16], *numbers: int
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
            raise _failure(error, lambda: receiver_fault(sender, receivers))
        return MulticastPlan(_row(sender_row), [_row(row) for row in receiver_rows[: planned.value]])


def point_to_point_out(requests: int) -> dict[str, Any]:
    """Returns output arrays for `point_to_point_many` of `requests` requests, as its keyword arguments.

    `{"out": rows, "status_out": statuses}`, zeros, every page already written,
    so that even the first call into them pays nothing for fresh memory (an
    array from `numpy.empty` or `numpy.zeros` gets its pages on first write:
    about a third of a call's time for all point-to-point pairs). Use as
    `topology.point_to_point_many(senders, receivers, counts, **arrays)`.
    Raises TypeError or ValueError for a count that is no size; ImportError
    when NumPy is missing.
    """
    return _bulk_planners().point_to_point_out(requests)  # type: ignore[no-any-return]


def multicast_out(requests: int, receivers: int) -> dict[str, Any]:
    """Returns output arrays for `multicast_many` or `paired_multicast_many`, as their keyword arguments.

    `{"out": (sender_rows, receiver_rows), "status_out": statuses}` for
    `requests` requests of `receivers` receivers in all, as `point_to_point_out`.
    Raises TypeError or ValueError for a count that is no size; ImportError
    when NumPy is missing.
    """
    return _bulk_planners().multicast_out(requests, receivers)  # type: ignore[no-any-return]


def describe(word: int) -> str:
    """Returns one readable line for an instruction word, e.g. "send count=64 base_word=0 control=1".

    Raises TypeError for a non-int, ValueError for a word outside 0..2**32-1.
    """
    word = _checked_int("word", word, _U32_MAX)
    return _native.read_text(_native.lib.vx_describe, word)
