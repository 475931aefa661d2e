"""The bulk planners: many requests per library call, NumPy arrays in and out.

Imported on the first bulk call only, so that the rest of the package works
without NumPy. Every request is checked here, naming the first offending
index, before the library sees any of them; the library then plans each
request exactly as the single call does and writes straight into the result
arrays, so no Python object is made per request. Errors are not kept: a failed
request's status says that it failed, and its error is made again, by planning
that request alone, when asked for.
"""

from __future__ import annotations

import collections.abc
import ctypes
import itertools
from typing import Any, Callable, Dict, Iterator, Optional, Sequence, Tuple

import numpy as np

from . import _checked_int, _failure, _index, _native

_TILE_MAX = 0xFFFF
_U32_MAX = 0xFFFFFFFF
_ROW_LENGTH = _native.ROW_LENGTH
# How many failed requests are planned again at a time to read their kinds:
# enough to keep the per-call cost small, few enough to bound the memory.
_KIND_CHUNK = 1 << 16
_ERROR_DTYPE = np.dtype(_native.Error)


def _pointer(array: Optional[np.ndarray]) -> Optional[int]:
    return None if array is None else array.ctypes.data


def _integers(label: str, values: object, maximum: int, dtype: type,
              name: Optional[Callable[[int], str]] = None) -> np.ndarray:
    """`values` (called `label`) as a one-dimensional array of `dtype`, every element an integer in 0..maximum.

    A scalar gives an array of one element, to be broadcast by the caller.
    `name(index)` names an element in messages; by default `label[index]`.
    """
    try:
        given = np.asarray(values)
    except (ValueError, OverflowError):
        # A ragged nesting; integers too large for any NumPy type come back as objects.
        raise TypeError(f"{label} must be a flat array-like of ints") from None
    if given.ndim > 1:
        raise ValueError(f"{label} must be one-dimensional, not of shape {given.shape}")
    if name is None:
        name = (lambda index: f"{label}[{index}]") if given.ndim else (lambda index: label)
    listed = isinstance(values, Sequence) and not isinstance(values, (str, bytes))
    if listed or given.dtype.kind == "O":
        # Python objects, one by one, as the single calls take them: NumPy
        # turns bools and integral floats in a list into integers, and an
        # object array holds anything.
        elements = values if listed else np.atleast_1d(given).tolist()
        checked = [_checked_int(name(index), value, maximum) for index, value in enumerate(elements)]  # type: ignore
        return np.array(checked, dtype=dtype)
    array = np.atleast_1d(given)
    if array.size == 0:
        return np.empty(0, dtype)
    if array.dtype.kind not in "iu":
        raise TypeError(f"{name(0)} must be an int, not {array.dtype} ({array[0]!r})")
    if array.dtype.kind == "i" or np.iinfo(array.dtype).max > maximum:
        bad = array < 0 if array.dtype.kind == "i" else np.zeros(array.shape, bool)
        if np.iinfo(array.dtype).max > maximum:
            bad |= array > maximum
        if bad.any():
            index = int(bad.argmax())
            raise ValueError(f"{name(index)} must be within 0..{maximum}, not {array[index]}")
    # The caller's own array when it already fits: a copy of all point-to-point
    # pairs would cost a third of planning them.
    return np.ascontiguousarray(array, dtype=dtype)


def _broadcast(arrays: Dict[str, np.ndarray], length: int) -> list[np.ndarray]:
    """The request arrays at `length` entries: arrays of one element stand for every request."""
    for key, array in arrays.items():
        if len(array) not in (1, length):
            raise ValueError(f"{key} has {len(array)} entries for {length} receiver lists")
    return [array if len(array) == length else np.full(length, array[0], array.dtype) for array in arrays.values()]


def _request_length(lengths: Dict[str, int]) -> int:
    """The number of requests: the one length of the arrays that are not of one element (1 when all are)."""
    distinct = {length for length in lengths.values() if length != 1}
    if len(distinct) > 1:
        shown = ", ".join(f"{key}: {length}" for key, length in lengths.items())
        raise ValueError(f"the request arrays differ in length ({shown})")
    return distinct.pop() if distinct else 1


def _output(name: str, given: object, shape: Tuple[int, ...], dtype: type) -> np.ndarray:
    """The caller's array `given` for a result of `shape` and `dtype`, checked; or a new one."""
    if given is None:
        return np.empty(shape, dtype)
    if not isinstance(given, np.ndarray):
        raise TypeError(f"{name} must be a NumPy array, not {type(given).__name__}")
    if given.dtype != np.dtype(dtype):
        raise TypeError(f"{name} must have dtype {np.dtype(dtype)}, not {given.dtype}")
    if given.shape != shape:
        raise ValueError(f"{name} must have shape {shape}, not {given.shape}")
    if not (given.flags.c_contiguous and given.flags.aligned):
        raise ValueError(f"{name} must be C-contiguous and aligned")
    if not given.flags.writeable:
        raise ValueError(f"{name} must be writable")
    return given


def _separate(**outputs: np.ndarray) -> None:
    """Refuses result arrays that overlap: the library would write one request's results over another's."""
    for (first, one), (second, other) in itertools.combinations(outputs.items(), 2):
        if one.size and other.size and np.may_share_memory(one, other):
            raise ValueError(f"{first} and {second} must not overlap")


# The Topology method that says why each bulk multicast planner refused a receiver list.
_RECEIVER_FAULTS = {"vx_multicast_many": "_multicast_receiver_fault",
                    "vx_paired_multicast_many": "_paired_receiver_fault"}


class _RequestErrors(collections.abc.Mapping):  # type: ignore[type-arg]
    """The errors of a result's failed requests, by request index, each made when looked up."""

    def __init__(self, plans: _Plans) -> None:
        self._plans = plans
        self._failed = np.flatnonzero(plans.statuses != _native.OK)

    def __getitem__(self, index: object) -> Exception:
        position = self._failed_position(index)
        if position is None:
            raise KeyError(index)
        return self._plans.error(position)  # type: ignore[return-value]

    def __iter__(self) -> Iterator[int]:
        return iter(self._failed.tolist())

    def __len__(self) -> int:
        return len(self._failed)

    def __contains__(self, index: object) -> bool:
        return self._failed_position(index) is not None

    def _failed_position(self, index: object) -> Optional[int]:
        """The request `index` names, if it is one that failed; a mapping answers KeyError for any other key."""
        try:
            position = self._plans._position(index)
        except (IndexError, TypeError):
            return None
        return position if self._plans.statuses[position] != _native.OK else None

    def __repr__(self) -> str:
        return f"<errors of {len(self)} failed requests among {len(self._plans)}>"


class _Plans(collections.abc.Sequence):  # type: ignore[type-arg]
    """What the two result types share: a sequence of plans and errors, the statuses, and errors on demand."""

    statuses: np.ndarray
    _topology: Any
    _kinds: Optional[np.ndarray]

    def __len__(self) -> int:
        """The number of requests."""
        return len(self.statuses)

    def __getitem__(self, index: Any) -> Any:
        """Request `index` as a value: its plan, or its ExchangeError (not raised); a slice gives a list."""
        if isinstance(index, slice):
            return [self[position] for position in range(*index.indices(len(self)))]
        position = self._position(index)
        failure = self.error(position)
        return failure if failure is not None else self._planned(position)

    def __repr__(self) -> str:
        return f"<vorl_exchange.{type(self).__name__}: {int(self.ok.sum())} of {len(self)} requests planned>"

    @property
    def ok(self) -> np.ndarray:
        """bool array of shape (n,): whether each request planned."""
        return self.statuses == _native.OK  # type: ignore[no-any-return]

    @property
    def kinds(self) -> np.ndarray:
        """int8 array of shape (n,): each failed request's ErrorKind, -1 for a request that planned.

        Worked out on first use, by planning the failed requests again (about
        as long as the call itself took for them), then kept.
        """
        if self._kinds is None:
            kinds = np.full(len(self), -1, np.int8)
            failed = np.flatnonzero(self.statuses != _native.OK)
            for start in range(0, len(failed), _KIND_CHUNK):
                chunk = failed[start:start + _KIND_CHUNK]
                kinds[chunk] = np.frombuffer(self._error_values(chunk), _ERROR_DTYPE)["kind"]
            self._kinds = kinds
        return self._kinds

    def errors(self) -> collections.abc.Mapping[int, Exception]:
        """Each failed request's error, by request index: the `ExchangeError` the single call raises.

        A read-only mapping; each error is made when it is looked up, so this
        call costs about a millisecond per million requests, and each lookup
        costs what `error(i)` does.
        """
        return _RequestErrors(self)

    def _receiver_fault(self, index: int) -> Optional[Callable[[], Dict[str, Any]]]:
        """What asks the library why request `index`'s receiver list was refused; None without a list."""
        return None

    def error(self, index: int) -> Optional[Exception]:
        """Request `index`'s `ExchangeError`, or None when it planned.

        Costs one single call: the request is planned again alone. Raises
        IndexError past either end, TypeError for an index that is not an int.
        """
        position = self._position(index)
        if self.statuses[position] == _native.OK:
            return None
        return _failure(self._error_values(np.array([position]))[0], self._receiver_fault(position))

    def plan(self, index: int) -> Any:
        """Request `index` as the single call returns it: its plan, or its `ExchangeError` raised."""
        failure = self.error(index)
        if failure is not None:
            raise failure
        return self._planned(self._position(index))

    def _position(self, index: object) -> int:
        """`index` as a request position in 0..n-1, counted from the end when negative."""
        position = _index("request index", index)
        if not -len(self) <= position < len(self):
            raise IndexError(f"request index {position} is out of range for {len(self)} requests")
        return position % len(self)

    def _error_values(self, failed: np.ndarray) -> Any:
        """The C error values of the requests `failed`, planned again alone."""
        values = (_native.Error * len(failed))()
        self._replan(failed, ctypes.addressof(values))
        return values

    def _planned(self, position: int) -> Any:
        raise NotImplementedError

    def _replan(self, failed: np.ndarray, errors: int) -> None:
        raise NotImplementedError


class PointToPointPlans(_Plans):
    """The plans of many point-to-point requests, in request order (from `Topology.point_to_point_many`).

    A sequence: `plans[i]` is request i's `Plan`, or its `ExchangeError` as a
    value; negative indices count from the end; a slice gives a list.

    Attributes:
        rows: uint32 array of shape (n, 2, 9): request i's sender row is rows[i, 0],
            its receiver row rows[i, 1]; both are zeros for a request that failed.
        statuses: int32 array of shape (n,): 0 for a request that planned, 1 for one the planner refused.
        ok: bool array of shape (n,): whether each request planned.
        kinds: int8 array of shape (n,): see `kinds`.
    """

    def __init__(self, topology: Any, requests: list[np.ndarray], rows: np.ndarray, statuses: np.ndarray) -> None:
        self._topology = topology
        self._requests = requests
        self._kinds = None
        self.rows = rows
        self.statuses = statuses
        _call_point_to_point(topology, requests, rows, statuses, None)
        _refuse_out_of_memory(statuses)

    def _planned(self, position: int) -> Any:
        from . import Plan

        sender, receiver = self.rows[position].tolist()
        return Plan(tuple(sender), tuple(receiver))  # type: ignore[arg-type]

    def _replan(self, failed: np.ndarray, errors: int) -> None:
        rows = np.empty((len(failed), 2, _ROW_LENGTH), np.uint32)
        _call_point_to_point(self._topology, [request[failed] for request in self._requests], rows,
                             np.empty(len(failed), np.int32), errors)


class MulticastPlans(_Plans):
    """The plans of many multicast or paired multicast requests, in request order.

    From `Topology.multicast_many` and `Topology.paired_multicast_many`. A
    sequence: `plans[i]` is request i's `MulticastPlan`, or its `ExchangeError`
    as a value; negative indices count from the end; a slice gives a list.

    Attributes:
        sender_rows: uint32 array of shape (n, 9), one sender row per request.
        receiver_rows: uint32 array of shape (m, 9), m the number of receivers of
            all requests: request i's receiver rows, one per receiver in the order
            given, are receiver_rows[receiver_offsets[i]:receiver_offsets[i + 1]].
        receiver_offsets: int64 array of shape (n + 1,): receiver_offsets[i] is the
            index of request i's first receiver row.
        statuses: int32 array of shape (n,): 0 for a request that planned, 1 for one the planner refused.
        ok: bool array of shape (n,): whether each request planned. A failed
            request's rows are zeros.
        kinds: int8 array of shape (n,): see `kinds`.
    """

    def __init__(self, topology: Any, planner: str, requests: Tuple[np.ndarray, np.ndarray, np.ndarray,
                 list[np.ndarray]], rows: Tuple[np.ndarray, np.ndarray], statuses: np.ndarray) -> None:
        self._topology = topology
        # The C function's name rather than the function, so that results pickle.
        self._planner = planner
        self._requests = requests
        self._kinds = None
        senders, offsets, _, _ = requests
        self.receiver_offsets = (offsets - offsets[0]).astype(np.int64)
        self.sender_rows, self.receiver_rows = rows
        self.statuses = statuses
        self._call(requests, self.sender_rows, self.receiver_rows, statuses, None)
        _refuse_out_of_memory(statuses)

    def receivers(self, index: int) -> np.ndarray:
        """Request `index`'s receiver rows: a (k, 9) view into `receiver_rows`.

        Raises IndexError past either end, TypeError for an index that is not an int.
        """
        position = self._position(index)
        return self.receiver_rows[self.receiver_offsets[position]:self.receiver_offsets[position + 1]]

    def _planned(self, position: int) -> Any:
        from . import MulticastPlan

        receivers = [tuple(row) for row in self.receivers(position).tolist()]
        return MulticastPlan(tuple(self.sender_rows[position].tolist()), receivers)  # type: ignore[arg-type]

    def _call(self, requests: Tuple[np.ndarray, np.ndarray, np.ndarray, list[np.ndarray]], sender_rows: np.ndarray,
              receiver_rows: np.ndarray, statuses: np.ndarray, errors: Optional[int]) -> None:
        senders, offsets, receivers, numbers = requests
        _check_call(getattr(_native.lib, self._planner)(
            self._topology._handle, len(senders), _pointer(senders), _pointer(offsets), _pointer(receivers),
            *map(_pointer, numbers), _pointer(sender_rows), _pointer(receiver_rows), len(receiver_rows),
            _pointer(statuses), errors, None))

    def _receiver_fault(self, index: int) -> Optional[Callable[[], Dict[str, Any]]]:
        senders, offsets, receivers, _ = self._requests
        listed = receivers[offsets[index]:offsets[index + 1]].tolist()
        sender = int(senders[index])
        fault = getattr(self._topology, _RECEIVER_FAULTS[self._planner])
        return lambda: fault(sender, (ctypes.c_uint16 * len(listed))(*listed))

    def _replan(self, failed: np.ndarray, errors: int) -> None:
        senders, offsets, receivers, numbers = self._requests
        lists = [receivers[offsets[index]:offsets[index + 1]] for index in failed]
        sub_offsets = np.zeros(len(failed) + 1, np.uintp)
        np.cumsum([len(listed) for listed in lists], out=sub_offsets[1:])
        sub_receivers = np.ascontiguousarray(np.concatenate(lists) if lists else receivers[:0], np.uint16)
        self._call((senders[failed], sub_offsets, sub_receivers, [number[failed] for number in numbers]),
                   np.empty((len(failed), _ROW_LENGTH), np.uint32),
                   np.empty((len(sub_receivers), _ROW_LENGTH), np.uint32), np.empty(len(failed), np.int32), errors)


def _call_point_to_point(topology: Any, requests: list[np.ndarray], rows: np.ndarray, statuses: np.ndarray,
                         errors: Optional[int]) -> None:
    senders, receivers, counts = requests
    _check_call(_native.lib.vx_point_to_point_many(
        topology._handle, len(senders), _pointer(senders), _pointer(receivers), _pointer(counts),
        _pointer(rows), _pointer(statuses), errors, None))


def _refuse_out_of_memory(statuses: np.ndarray) -> None:
    # The largest status there is; a reduction, so no array the size of the requests is made.
    if len(statuses) and statuses.max() == _native.OUT_OF_MEMORY:
        raise MemoryError("vorl_exchange: out of memory while planning a receiver list")


def _check_call(status: int) -> None:
    # Every argument is checked and every buffer sized here, so the call itself
    # cannot fail; a failure would mean this module and the library disagree.
    if status != _native.OK:
        raise RuntimeError(f"vorl_exchange: unexpected status {status} from a bulk call of the C interface")


def _statuses(status_out: object, length: int) -> np.ndarray:
    return _output("status_out", status_out, (length,), np.int32)


def point_to_point_many(topology: Any, senders: object, receivers: object, counts: object, out: object,
                        status_out: object) -> PointToPointPlans:
    arrays = {
        "senders": _integers("senders", senders, _TILE_MAX, np.uint16),
        "receivers": _integers("receivers", receivers, _TILE_MAX, np.uint16),
        "counts": _integers("counts", counts, _U32_MAX, np.uint32),
    }
    length = _request_length({key: len(array) for key, array in arrays.items()})
    requests = _broadcast(arrays, length)
    rows = _output("out", out, (length, 2, _ROW_LENGTH), np.uint32)
    statuses = _statuses(status_out, length)
    _separate(out=rows, status_out=statuses)
    return PointToPointPlans(topology, requests, rows, statuses)


def _receiver_lists(receivers: object, receiver_offsets: object) -> tuple[np.ndarray, np.ndarray]:
    """The receivers as one flat uint16 array and request offsets into it (size_t)."""
    if receiver_offsets is None:
        if isinstance(receivers, (str, bytes)) or not isinstance(receivers, (Sequence, np.ndarray)):
            raise TypeError(f"receivers must be a sequence of receiver lists, not {type(receivers).__name__}")
        lists = [_receiver_list(index, listed) for index, listed in enumerate(receivers)]
        offsets = np.zeros(len(lists) + 1, np.int64)
        np.cumsum([len(listed) for listed in lists], out=offsets[1:])

        def name(flat_index: int) -> str:
            request = int(np.searchsorted(offsets, flat_index, side="right")) - 1
            return f"receivers[{request}][{flat_index - offsets[request]}]"

        flat: object = np.concatenate(lists) if any(isinstance(listed, np.ndarray) for listed in lists) else list(
            itertools.chain.from_iterable(lists))
        return _integers("receivers", flat, _TILE_MAX, np.uint16, name), offsets.astype(np.uintp)
    tiles = _integers("receivers", receivers, _TILE_MAX, np.uint16)
    if np.ndim(receiver_offsets) == 0:
        raise ValueError("receiver_offsets must be an array of n + 1 offsets for n requests, not a scalar")
    offsets = _integers("receiver_offsets", receiver_offsets, len(tiles), np.uintp)
    if len(offsets) == 0:
        raise ValueError("receiver_offsets must be an array of n + 1 offsets for n requests, not empty")
    decreasing = np.flatnonzero(offsets[1:] < offsets[:-1])
    if len(decreasing):
        index = int(decreasing[0]) + 1
        raise ValueError(f"receiver_offsets[{index}] must not be below receiver_offsets[{index - 1}]")
    return tiles, offsets


def _receiver_list(index: int, listed: object) -> Any:
    """Request `index`'s receiver list, as a list or a one-dimensional array."""
    if isinstance(listed, np.ndarray):
        if listed.ndim != 1:
            raise ValueError(f"receivers[{index}] must be a one-dimensional list of tiles, not of shape "
                             f"{listed.shape}")
        return listed
    if isinstance(listed, (str, bytes)) or not isinstance(listed, collections.abc.Iterable):
        raise TypeError(f"receivers[{index}] must be a list of tiles, not {type(listed).__name__} (a flat array of "
                        "receivers needs receiver_offsets)")
    return list(listed)


def _multicast_requests(senders: object, receivers: object, receiver_offsets: object,
                        numbers: Dict[str, object]) -> tuple[np.ndarray, np.ndarray, np.ndarray, list[np.ndarray]]:
    tiles, offsets = _receiver_lists(receivers, receiver_offsets)
    arrays = {"senders": _integers("senders", senders, _TILE_MAX, np.uint16)}
    arrays.update({key: _integers(key, value, _U32_MAX, np.uint32) for key, value in numbers.items()})
    broadcast = _broadcast(arrays, len(offsets) - 1)
    return broadcast[0], offsets, tiles, broadcast[1:]


def _multicast_plans(topology: Any, planner: str, requests: tuple[np.ndarray, np.ndarray, np.ndarray,
                     list[np.ndarray]], out: object, status_out: object) -> MulticastPlans:
    senders, offsets, _, _ = requests
    length = len(senders)
    receiver_total = int(offsets[-1] - offsets[0])
    if out is None:
        sender_out, receiver_out = None, None
    elif isinstance(out, tuple) and len(out) == 2:
        sender_out, receiver_out = out
    else:
        raise TypeError(f"out must be a pair of arrays (sender rows, receiver rows), not {type(out).__name__}")
    rows = (_output("out[0]", sender_out, (length, _ROW_LENGTH), np.uint32),
            _output("out[1]", receiver_out, (receiver_total, _ROW_LENGTH), np.uint32))
    statuses = _statuses(status_out, length)
    _separate(**{"out[0]": rows[0], "out[1]": rows[1], "status_out": statuses})
    return MulticastPlans(topology, planner, requests, rows, statuses)


def multicast_many(topology: Any, senders: object, receivers: object, counts: object, schedule_offsets: object,
                   receiver_offsets: object, out: object, status_out: object) -> MulticastPlans:
    requests = _multicast_requests(senders, receivers, receiver_offsets,
                                   {"counts": counts, "schedule_offsets": schedule_offsets})
    return _multicast_plans(topology, "vx_multicast_many", requests, out, status_out)


def paired_multicast_many(topology: Any, senders: object, receivers: object, counts: object,
                          receiver_offsets: object, out: object, status_out: object) -> MulticastPlans:
    requests = _multicast_requests(senders, receivers, receiver_offsets, {"counts": counts})
    return _multicast_plans(topology, "vx_paired_multicast_many", requests, out, status_out)


# ---- Checking rows in bulk ----------------------------------------------------


def _rows(label: str, rows: object, row_shape: Tuple[int, ...]) -> np.ndarray:
    """`rows` (called `label`) as a C-contiguous uint32 array of shape (k, *row_shape), every word in 0..0xFFFFFFFF.

    Any integer dtype, read-only and non-contiguous arrays are taken; nested
    lists are checked word by word, as the single `check` checks them.
    """
    if isinstance(rows, np.ndarray):
        given = rows
    else:
        try:
            # Objects, not numbers: NumPy would turn a True or a 2.0 in a list into an integer.
            given = np.array(rows, dtype=object)
        except ValueError:
            raise ValueError(f"{label} must be an array of shape (n, {', '.join(map(str, row_shape))})") from None
    if given.size == 0 and given.ndim < 1 + len(row_shape):
        given = given.reshape((0, *row_shape))  # an empty list: no requests
    if given.ndim != 1 + len(row_shape) or given.shape[1:] != row_shape:
        wanted = ", ".join(map(str, ("n", *row_shape)))
        raise ValueError(f"{label} must have shape ({wanted}), not {given.shape}")

    def name(flat_index: int) -> str:
        return label + "".join(f"[{int(index)}]" for index in np.unravel_index(flat_index, given.shape))

    words = _integers(label, given.reshape(-1), _U32_MAX, np.uint32, name)
    return words.reshape(given.shape)


def _verdicts(status: int, holds: np.ndarray) -> np.ndarray:
    if status == _native.OUT_OF_MEMORY:
        raise MemoryError("vorl_exchange: out of memory while checking a receiver list")
    _check_call(status)
    return holds != 0


def check_point_to_point_many(topology: Any, senders: object, receivers: object, counts: object,
                              rows: object) -> np.ndarray:
    arrays = {
        "senders": _integers("senders", senders, _TILE_MAX, np.uint16),
        "receivers": _integers("receivers", receivers, _TILE_MAX, np.uint16),
        "counts": _integers("counts", counts, _U32_MAX, np.uint32),
    }
    words = _rows("rows", rows, (2, _ROW_LENGTH))
    length = _request_length({**{key: len(array) for key, array in arrays.items()}, "rows": len(words)})
    if len(words) != length:
        raise ValueError(f"rows has {len(words)} requests' rows for {length} requests")
    senders, receivers, counts = _broadcast(arrays, length)
    holds = np.empty(length, np.intc)
    return _verdicts(_native.lib.vx_check_point_to_point_many(
        topology._handle, length, _pointer(senders), _pointer(receivers), _pointer(counts), _pointer(words),
        _pointer(holds), None), holds)


def _check_multicasts(topology: Any, checker: str, requests: tuple[np.ndarray, np.ndarray, np.ndarray,
                      list[np.ndarray]], rows: object) -> np.ndarray:
    senders, offsets, tiles, numbers = requests
    if not (isinstance(rows, tuple) and len(rows) == 2):
        raise TypeError(f"rows must be a pair (sender rows, receiver rows), not {type(rows).__name__}")
    sender_rows = _rows("rows[0]", rows[0], (_ROW_LENGTH,))
    receiver_rows = _rows("rows[1]", rows[1], (_ROW_LENGTH,))
    if len(sender_rows) != len(senders):
        raise ValueError(f"rows[0] has {len(sender_rows)} sender rows for {len(senders)} requests")
    # Only the receivers the requests name, with offsets from 0 into them: a
    # window of a larger receiver array has rows for its own receivers only.
    first = int(offsets[0])
    listed = tiles[first:int(offsets[-1])]
    if len(receiver_rows) != len(listed):
        raise ValueError(f"rows[1] has {len(receiver_rows)} receiver rows for {len(listed)} receivers")
    from_first = np.subtract(offsets, first, dtype=np.uintp)
    holds = np.empty(len(senders), np.intc)
    status = getattr(_native.lib, checker)(
        topology._handle, len(senders), _pointer(senders), _pointer(from_first), _pointer(listed),
        *map(_pointer, numbers), _pointer(sender_rows), _pointer(receiver_rows), _pointer(holds), None)
    return _verdicts(status, holds)


def check_multicast_many(topology: Any, senders: object, receivers: object, counts: object, schedule_offsets: object,
                         receiver_offsets: object, rows: object) -> np.ndarray:
    requests = _multicast_requests(senders, receivers, receiver_offsets,
                                   {"counts": counts, "schedule_offsets": schedule_offsets})
    return _check_multicasts(topology, "vx_check_multicast_many", requests, rows)


def check_paired_multicast_many(topology: Any, senders: object, receivers: object, counts: object,
                                receiver_offsets: object, rows: object) -> np.ndarray:
    requests = _multicast_requests(senders, receivers, receiver_offsets, {"counts": counts})
    return _check_multicasts(topology, "vx_check_paired_multicast_many", requests, rows)



def _resident(shape: Tuple[int, ...], dtype: type) -> np.ndarray:
    """A new array whose memory has been written once, so the kernel has already supplied every page."""
    array = np.empty(shape, dtype)
    array.fill(0)
    return array


def point_to_point_out(requests: int) -> Dict[str, Any]:
    requests = _checked_int("requests", requests, np.iinfo(np.intp).max)
    return {"out": _resident((requests, 2, _ROW_LENGTH), np.uint32), "status_out": _resident((requests,), np.int32)}


def multicast_out(requests: int, receivers: int) -> Dict[str, Any]:
    requests = _checked_int("requests", requests, np.iinfo(np.intp).max)
    receivers = _checked_int("receivers", receivers, np.iinfo(np.intp).max)
    return {"out": (_resident((requests, _ROW_LENGTH), np.uint32), _resident((receivers, _ROW_LENGTH), np.uint32)),
            "status_out": _resident((requests,), np.int32)}
