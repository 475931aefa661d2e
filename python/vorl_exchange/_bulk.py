"""The bulk planners: many requests per library call, NumPy arrays in and out.

Imported on the first bulk call only, so that the rest of the package works
without NumPy. Every request is checked here, naming the first offending
index, before the library sees any of them; the library then plans each
request exactly as the single call does and writes straight into the arrays
returned, so no Python object is made per request.
"""

from __future__ import annotations

import ctypes
import itertools
from typing import Any, Callable, Dict, Optional, Sequence

import numpy as np

from . import _native

_TILE_MAX = 0xFFFF
_U32_MAX = 0xFFFFFFFF
_ROW_LENGTH = _native.ROW_LENGTH


def _pointer(array: Optional[np.ndarray]) -> Optional[int]:
    return None if array is None else array.ctypes.data


def _first_bad_element(values: object) -> Optional[int]:
    """The index of the first element of a plain sequence that is not an int, if the input is one."""
    if isinstance(values, np.ndarray) or not isinstance(values, Sequence):
        return None
    for index, value in enumerate(values):
        if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
            return index
    return None


def _integers(label: str, values: object, maximum: int, dtype: type,
              name: Optional[Callable[[int], str]] = None) -> np.ndarray:
    """`values` (called `label`) as a one-dimensional array of `dtype`, every element an integer in 0..maximum.

    A scalar gives an array of one element, to be broadcast by the caller.
    `name(index)` names an element in messages; by default `label[index]`.
    """
    if name is None:
        name = lambda index: f"{label}[{index}]"  # noqa: E731
    try:
        array = np.asarray(values)
    except (ValueError, OverflowError):
        # A ragged nesting; integers too large for any NumPy type come back as objects.
        raise TypeError(f"{label} must be a flat array-like of ints") from None
    if array.ndim > 1:
        raise TypeError(f"{label} must be one-dimensional, not of shape {array.shape}")
    # A list that NumPy turned into integers may still hold bools or floats of integral value.
    misplaced = _first_bad_element(values)
    if misplaced is not None:
        value = values[misplaced]  # type: ignore[index]
        raise TypeError(f"{name(misplaced)} must be an int, not {type(value).__name__}")
    array = np.atleast_1d(array)
    if array.size == 0:
        return np.empty(0, dtype)
    if array.dtype.kind == "O":
        for index, value in enumerate(array):
            if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
                raise TypeError(f"{name(index)} must be an int, not {type(value).__name__}")
            if not 0 <= value <= maximum:
                raise ValueError(f"{name(index)} must be within 0..{maximum}, not {value}")
        return array.astype(dtype)
    if array.dtype.kind not in "iu":
        index = 0
        raise TypeError(f"{name(index)} must be an int, not {array.dtype} ({array.reshape(-1)[index]!r})")
    if array.size and (array.dtype.kind == "i" or np.iinfo(array.dtype).max > maximum):
        bad = array < 0 if array.dtype.kind == "i" else np.zeros(array.shape, bool)
        if np.iinfo(array.dtype).max > maximum:
            bad |= array > maximum
        if bad.any():
            index = int(bad.argmax())
            raise ValueError(f"{name(index)} must be within 0..{maximum}, not {array[index]}")
    return np.ascontiguousarray(array, dtype=dtype)


def _broadcast(**arrays: np.ndarray) -> list[np.ndarray]:
    """The request arrays at one length: arrays of one element stand for every request."""
    lengths = {len(array) for array in arrays.values() if len(array) != 1}
    if len(lengths) > 1:
        shown = ", ".join(f"{key}: {len(array)}" for key, array in arrays.items())
        raise ValueError(f"the request arrays differ in length ({shown})")
    length = lengths.pop() if lengths else 1
    return [np.ascontiguousarray(np.broadcast_to(array, (length,))) for array in arrays.values()]


def _exchange_error(error: _native.Error, receiver_fault: Optional[Callable[[], Dict[str, Any]]]) -> Exception:
    from . import _failure  # the package's one translation of an error value

    return _failure(error, receiver_fault)


class _Plans:
    """What the two result types share: the ok mask and the errors of failed requests."""

    ok: np.ndarray
    _statuses: np.ndarray
    _errors: Optional[Dict[int, Exception]]

    def __len__(self) -> int:
        """The number of requests."""
        return len(self.ok)

    def errors(self) -> Dict[int, Exception]:
        """Each failed request's error, by request index: the `ExchangeError` the single call raises.

        Worked out on the first call (the failed requests are planned again,
        with their error values kept) and cached.
        """
        if self._errors is None:
            failed = np.flatnonzero(~self.ok)
            values = (_native.Error * len(failed))()
            if len(failed):
                self._replan(failed, ctypes.addressof(values))
            self._errors = {int(index): _exchange_error(value, self._receiver_fault(int(index)))
                            for index, value in zip(failed, values)}
        return self._errors

    def _receiver_fault(self, index: int) -> Optional[Callable[[], Dict[str, Any]]]:
        """What asks the library why request `index`'s receiver list was refused; None without a list."""
        return None

    def error(self, index: int) -> Optional[Exception]:
        """Request `index`'s `ExchangeError`, or None when it planned. Raises IndexError past the end."""
        if not -len(self) <= index < len(self):
            raise IndexError(f"request index {index} is out of range for {len(self)} requests")
        return self.errors().get(index % len(self))

    def _raise_if_failed(self, index: int) -> None:
        failure = self.error(index)
        if failure is not None:
            raise failure

    def _replan(self, failed: np.ndarray, errors: int) -> None:
        raise NotImplementedError


class PointToPointPlans(_Plans):
    """The plans of many point-to-point requests, in request order (from `Topology.point_to_point_many`).

    Attributes:
        rows: uint32 array of shape (n, 2, 9): request i's sender row is rows[i, 0],
            its receiver row rows[i, 1]; both are zeros for a request that failed.
        ok: bool array of shape (n,): whether each request planned.
    """

    def __init__(self, topology: Any, requests: list[np.ndarray]) -> None:
        self._topology = topology
        self._requests = requests
        n = len(requests[0])
        self.rows = np.empty((n, 2, _ROW_LENGTH), np.uint32)
        self._statuses = np.empty(n, np.int32)
        self._errors = None
        self._call(requests, self.rows, self._statuses, None)
        self.ok = _ok_mask(self._statuses)

    def plan(self, index: int) -> Any:
        """Request `index` as the single call returns it: a `Plan`, or its `ExchangeError` raised."""
        from . import Plan

        self._raise_if_failed(index)
        sender, receiver = (tuple(map(int, row)) for row in self.rows[index])
        return Plan(sender, receiver)  # type: ignore[arg-type]

    def _call(self, requests: list[np.ndarray], rows: np.ndarray, statuses: np.ndarray, errors: Optional[int]) -> None:
        senders, receivers, counts = requests
        _check_call(_native.lib.vx_point_to_point_many(
            self._topology._handle, len(senders), _pointer(senders), _pointer(receivers), _pointer(counts),
            _pointer(rows), _pointer(statuses), errors, None))

    def _replan(self, failed: np.ndarray, errors: int) -> None:
        rows = np.empty((len(failed), 2, _ROW_LENGTH), np.uint32)
        self._call([request[failed] for request in self._requests], rows, np.empty(len(failed), np.int32), errors)


class MulticastPlans(_Plans):
    """The plans of many multicast or paired multicast requests, in request order.

    From `Topology.multicast_many` and `Topology.paired_multicast_many`.

    Attributes:
        sender_rows: uint32 array of shape (n, 9), one sender row per request.
        receiver_rows: uint32 array of shape (m, 9), m the number of receivers of
            all requests: request i's receiver rows, one per receiver in the order
            given, are receiver_rows[receiver_offsets[i]:receiver_offsets[i + 1]].
        receiver_offsets: int64 array of shape (n + 1,): receiver_offsets[i] is the
            index of request i's first receiver row.
        ok: bool array of shape (n,): whether each request planned. A failed
            request's rows are zeros.
    """

    def __init__(self, topology: Any, function: Any, receiver_fault: Callable[[int, Any], Dict[str, Any]],
                 senders: np.ndarray, offsets: np.ndarray, receivers: np.ndarray, numbers: list[np.ndarray]) -> None:
        self._topology = topology
        self._function = function
        self._fault = receiver_fault
        self._requests = (senders, offsets, receivers, numbers)
        n = len(senders)
        self.receiver_offsets = (offsets - offsets[0]).astype(np.int64)
        self.sender_rows = np.empty((n, _ROW_LENGTH), np.uint32)
        self.receiver_rows = np.empty((int(self.receiver_offsets[-1]), _ROW_LENGTH), np.uint32)
        self._statuses = np.empty(n, np.int32)
        self._errors = None
        self._call(senders, offsets, receivers, numbers, self.sender_rows, self.receiver_rows, self._statuses, None)
        self.ok = _ok_mask(self._statuses)

    def receivers(self, index: int) -> np.ndarray:
        """Request `index`'s receiver rows: a (k, 9) view into `receiver_rows`."""
        return self.receiver_rows[self.receiver_offsets[index]:self.receiver_offsets[index + 1]]

    def plan(self, index: int) -> Any:
        """Request `index` as the single call returns it: a `MulticastPlan`, or its `ExchangeError` raised."""
        from . import MulticastPlan

        self._raise_if_failed(index)
        receivers = [tuple(map(int, row)) for row in self.receivers(index)]
        return MulticastPlan(tuple(map(int, self.sender_rows[index])), receivers)  # type: ignore[arg-type]

    def _call(self, senders: np.ndarray, offsets: np.ndarray, receivers: np.ndarray, numbers: list[np.ndarray],
              sender_rows: np.ndarray, receiver_rows: np.ndarray, statuses: np.ndarray,
              errors: Optional[int]) -> None:
        _check_call(self._function(
            self._topology._handle, len(senders), _pointer(senders), _pointer(offsets), _pointer(receivers),
            *map(_pointer, numbers), _pointer(sender_rows), _pointer(receiver_rows), len(receiver_rows),
            _pointer(statuses), errors, None))

    def _receiver_fault(self, index: int) -> Optional[Callable[[], Dict[str, Any]]]:
        senders, offsets, receivers, _ = self._requests
        listed = receivers[offsets[index]:offsets[index + 1]].tolist()
        sender = int(senders[index])
        return lambda: self._fault(sender, (ctypes.c_uint16 * len(listed))(*listed))

    def _replan(self, failed: np.ndarray, errors: int) -> None:
        senders, offsets, receivers, numbers = self._requests
        lists = [receivers[offsets[index]:offsets[index + 1]] for index in failed]
        sub_offsets = np.zeros(len(failed) + 1, np.uintp)
        np.cumsum([len(listed) for listed in lists], out=sub_offsets[1:])
        sub_receivers = np.ascontiguousarray(np.concatenate(lists) if lists else receivers[:0], np.uint16)
        self._call(senders[failed], sub_offsets, sub_receivers, [number[failed] for number in numbers],
                   np.empty((len(failed), _ROW_LENGTH), np.uint32),
                   np.empty((len(sub_receivers), _ROW_LENGTH), np.uint32), np.empty(len(failed), np.int32), errors)


def _ok_mask(statuses: np.ndarray) -> np.ndarray:
    if (statuses == _native.OUT_OF_MEMORY).any():
        raise MemoryError("vorl_exchange: out of memory while planning a receiver list")
    return statuses == _native.OK


def _check_call(status: int) -> None:
    # Every argument is checked and every buffer sized here, so the call itself
    # cannot fail; a failure would mean this module and the library disagree.
    if status != _native.OK:
        raise RuntimeError(f"vorl_exchange: unexpected status {status} from a bulk call of the C interface")


def point_to_point_many(topology: Any, senders: object, receivers: object, counts: object) -> PointToPointPlans:
    requests = _broadcast(
        senders=_integers("senders", senders, _TILE_MAX, np.uint16),
        receivers=_integers("receivers", receivers, _TILE_MAX, np.uint16),
        counts=_integers("counts", counts, _U32_MAX, np.uint32),
    )
    return PointToPointPlans(topology, requests)


def _receiver_lists(receivers: object, receiver_offsets: object) -> tuple[np.ndarray, np.ndarray]:
    """The receivers as one flat uint16 array and request offsets into it (size_t)."""
    if receiver_offsets is None:
        if isinstance(receivers, (str, bytes)) or not isinstance(receivers, (Sequence, np.ndarray)):
            raise TypeError(f"receivers must be a sequence of receiver lists, not {type(receivers).__name__}")
        lists = [list(listed) if not isinstance(listed, np.ndarray) else listed for listed in receivers]
        offsets = np.zeros(len(lists) + 1, np.int64)
        np.cumsum([len(listed) for listed in lists], out=offsets[1:])

        def name(flat_index: int) -> str:
            request = int(np.searchsorted(offsets, flat_index, side="right")) - 1
            return f"receivers[{request}][{flat_index - offsets[request]}]"

        flat: object = np.concatenate(lists) if any(isinstance(listed, np.ndarray) for listed in lists) else list(
            itertools.chain.from_iterable(lists))
        return _integers("receivers", flat, _TILE_MAX, np.uint16, name), offsets.astype(np.uintp)
    tiles = _integers("receivers", receivers, _TILE_MAX, np.uint16)
    offsets = _integers("receiver_offsets", receiver_offsets, len(tiles), np.uintp)
    if np.ndim(receiver_offsets) == 0 or len(offsets) == 0:
        raise ValueError("receiver_offsets must be an array of n + 1 offsets for n requests")
    decreasing = np.flatnonzero(offsets[1:] < offsets[:-1])
    if len(decreasing):
        index = int(decreasing[0]) + 1
        raise ValueError(f"receiver_offsets[{index}] must not be below receiver_offsets[{index - 1}]")
    return tiles, offsets


def _multicast_requests(senders: object, receivers: object, receiver_offsets: object,
                        numbers: Dict[str, object]) -> tuple[np.ndarray, np.ndarray, np.ndarray, list[np.ndarray]]:
    tiles, offsets = _receiver_lists(receivers, receiver_offsets)
    requests = len(offsets) - 1
    arrays = {"senders": _integers("senders", senders, _TILE_MAX, np.uint16)}
    arrays.update({key: _integers(key, value, _U32_MAX, np.uint32) for key, value in numbers.items()})
    for key, array in arrays.items():
        if len(array) not in (1, requests):
            raise ValueError(f"{key} has {len(array)} entries for {requests} receiver lists")
    broadcast = [np.ascontiguousarray(np.broadcast_to(array, (requests,))) for array in arrays.values()]
    return broadcast[0], offsets, tiles, broadcast[1:]


def multicast_many(topology: Any, senders: object, receivers: object, counts: object, schedule_offsets: object,
                   receiver_offsets: object) -> MulticastPlans:
    senders_array, offsets, tiles, numbers = _multicast_requests(
        senders, receivers, receiver_offsets, {"counts": counts, "schedule_offsets": schedule_offsets})
    return MulticastPlans(topology, _native.lib.vx_multicast_many, topology._multicast_receiver_fault, senders_array,
                          offsets, tiles, numbers)


def paired_multicast_many(topology: Any, senders: object, receivers: object, counts: object,
                          receiver_offsets: object) -> MulticastPlans:
    senders_array, offsets, tiles, numbers = _multicast_requests(senders, receivers, receiver_offsets,
                                                                 {"counts": counts})
    return MulticastPlans(topology, _native.lib.vx_paired_multicast_many, topology._paired_receiver_fault,
                          senders_array, offsets, tiles, numbers)
