"""The C interface through ctypes: loading the library and declaring its calls."""

from __future__ import annotations

import ctypes
import os
from typing import Callable

from . import _library

ROW_LENGTH = 9

# vx_status
OK = 0
EXCHANGE_ERROR = 1
TOPOLOGY_REFUSED = 2
BUFFER_TOO_SMALL = 3
BAD_ARGUMENT = 4
OUT_OF_MEMORY = 5


class Row(ctypes.Structure):
    _fields_ = [("words", ctypes.c_uint32 * ROW_LENGTH)]


class Error(ctypes.Structure):
    _fields_ = [
        ("status", ctypes.c_int),
        ("kind", ctypes.c_int),
        ("tile", ctypes.c_uint32),
        ("count", ctypes.c_uint32),
        ("reason", ctypes.c_uint32),
        ("cycles", ctypes.c_uint32),
        ("maximum", ctypes.c_uint32),
        ("address", ctypes.c_uint32),
        ("rule", ctypes.c_int),
        ("entry", ctypes.c_uint32),
        ("earlier_entry", ctypes.c_uint32),
        ("needed_rows", ctypes.c_size_t),
    ]


class ReceiverFault(ctypes.Structure):
    _fields_ = [
        ("refused", ctypes.c_int32),
        ("rule", ctypes.c_int32),
        ("has_entry", ctypes.c_int32),
        ("tile", ctypes.c_uint32),
        ("entry", ctypes.c_size_t),
    ]


def _load() -> ctypes.CDLL:
    path = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), _library.LIBRARY))
    try:
        library = ctypes.CDLL(path)
    except OSError as failure:
        raise ImportError(
            f"vorl_exchange: cannot load the library {path} ({failure}). The package must sit where the build "
            "or `cmake --install` put it, beside its library: rebuild, or reinstall both from one build."
        ) from failure
    try:
        library.vx_version.restype = ctypes.c_char_p
        library.vx_version.argtypes = []
        found = library.vx_version().decode("ascii")
    except AttributeError as failure:
        raise ImportError(f"vorl_exchange: {path} has no C interface (vx_version is missing)") from failure
    if found != _library.VERSION:
        raise ImportError(
            f"vorl_exchange: the package is version {_library.VERSION} but the library {path} is version "
            f"{found}; install the package and the library from the same build."
        )
    return library


def _declare(library: ctypes.CDLL) -> None:
    topology_p = ctypes.c_void_p
    error_p = ctypes.POINTER(Error)
    row_p = ctypes.POINTER(Row)
    u16 = ctypes.c_uint16
    u32 = ctypes.c_uint32
    size = ctypes.c_size_t
    text = [ctypes.c_char_p, size]
    address = ctypes.c_void_p
    signatures = {
        "vx_topology_tarn": (ctypes.c_int, [ctypes.POINTER(topology_p), error_p]),
        "vx_topology_from_table": (ctypes.c_int, [ctypes.POINTER(u16), size, ctypes.POINTER(topology_p), error_p]),
        "vx_topology_free": (None, [topology_p]),
        "vx_topology_physical": (ctypes.c_int, [topology_p, u16, ctypes.POINTER(u16), error_p]),
        "vx_topology_paired_logical": (ctypes.c_int, [topology_p, u16, ctypes.POINTER(u16), error_p]),
        "vx_point_to_point": (ctypes.c_int, [topology_p, u16, u16, u32, row_p, row_p, error_p]),
        "vx_multicast": (
            ctypes.c_int,
            [topology_p, u16, ctypes.POINTER(u16), size, u32, u32, row_p, row_p, size, ctypes.POINTER(size), error_p],
        ),
        "vx_paired_multicast": (
            ctypes.c_int,
            [topology_p, u16, ctypes.POINTER(u16), size, u32, row_p, row_p, size, ctypes.POINTER(size), error_p],
        ),
        "vx_topology_tile_count": (size, [topology_p]),
        "vx_are_partners": (ctypes.c_int, [topology_p, u16, u16]),
        "vx_multicast_offset_limit": (
            ctypes.c_int, [topology_p, u16, ctypes.POINTER(u16), size, u32, ctypes.POINTER(u32), error_p]),
        "vx_paired_receiver_is_early": (ctypes.c_int, [topology_p, u16, u16, ctypes.POINTER(ctypes.c_int), error_p]),
        # The bulk calls take NumPy arrays by address.
        "vx_point_to_point_many": (ctypes.c_int, [topology_p, size, *[address] * 7]),
        "vx_multicast_many": (ctypes.c_int, [topology_p, size, *[address] * 7, size, *[address] * 3]),
        "vx_paired_multicast_many": (ctypes.c_int, [topology_p, size, *[address] * 6, size, *[address] * 3]),
        "vx_check_point_to_point_many": (ctypes.c_int, [topology_p, size, *[address] * 6]),
        "vx_check_multicast_many": (ctypes.c_int, [topology_p, size, *[address] * 9]),
        "vx_check_paired_multicast_many": (ctypes.c_int, [topology_p, size, *[address] * 8]),
        "vx_error_display": (size, [error_p, *text]),
        "vx_error_debug": (size, [error_p, *text]),
        "vx_error_kind_name": (ctypes.c_char_p, [ctypes.c_int]),
        "vx_schedule_reason_text": (ctypes.c_char_p, [u32]),
        "vx_describe": (size, [u32, *text]),
        "vx_multicast_receiver_fault": (
            ctypes.c_int, [topology_p, u16, ctypes.POINTER(u16), size, ctypes.POINTER(ReceiverFault), error_p]),
        "vx_paired_receiver_fault": (
            ctypes.c_int, [topology_p, ctypes.POINTER(u16), size, ctypes.POINTER(ReceiverFault), error_p]),
        "vx_receiver_rule_name": (ctypes.c_char_p, [ctypes.c_int]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments


lib = _load()
_declare(lib)


def read_text(write: Callable[..., int], *arguments: object) -> str:
    """Calls one of the snprintf-like text functions, growing the buffer once if needed."""
    buffer = ctypes.create_string_buffer(192)
    length = write(*arguments, buffer, len(buffer))
    if length >= len(buffer):
        buffer = ctypes.create_string_buffer(length + 1)
        write(*arguments, buffer, len(buffer))
    return buffer.value.decode("utf-8")
