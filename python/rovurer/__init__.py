"""rovurer: any run of digits of a binary digit file, and what they hold.

    >>> import rovurer
    >>> with rovurer.open("pi_base10") as pi:
    ...     pi.digits(1, 10)
    '1415926535'

A digit file holds a number such as a constant to billions of digits: a
4096-byte header, then the number in little-endian 64-bit words. Positions
count from 1, the first digit after the point, and are exact Python ints.
Every call reads only what it needs, on every processor by default
(threads=), releases the GIL while it works, and stops at Ctrl-C.
"""
from rovurer._rovurer import (
    File,
    Matches,
    StatisticsState,
    StringsState,
    __version__,
    active_kernel_set,
    chi_square_p_value,
    compare,
    kernel_sets,
    open,
    pack,
)
from rovurer.errors import (
    Error,
    NotADigitFileError,
    OutOfMemoryError,
    PartError,
    RangeError,
    ReadError,
    StoppedError,
    TargetExistsError,
    TextError,
    WriteError,
)

__all__ = [
    "File", "Matches", "StatisticsState", "StringsState", "__version__", "active_kernel_set", "chi_square_p_value",
    "compare", "kernel_sets", "open", "pack", "Error", "NotADigitFileError", "OutOfMemoryError", "PartError",
    "RangeError", "ReadError", "StoppedError", "TargetExistsError", "TextError", "WriteError",
]
