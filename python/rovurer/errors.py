"""The exceptions of rovurer's calls.

Each carries .code, the library's name for what went wrong (such as
"past_end"), and .message, in the command line's words. A file that cannot
be opened raises the OSError that Python raises for it (FileNotFoundError,
PermissionError, ...).
"""
import errno
import os


class Error(Exception):
    """A refusal or a failure of the library."""

    def __init__(self, code, message):
        super().__init__(message)
        self.code = code
        self.message = message


class NotADigitFileError(Error):
    """The file is not a digit file, or its header cannot be read."""


class RangeError(Error, ValueError):
    """A base, a position, digits or an option the file or the call cannot take."""


class ReadError(Error):
    """A read of the data failed: the file shrank, or the device failed. No answer is given."""


class OutOfMemoryError(Error, MemoryError):
    """No memory for the call's buffers."""


class StoppedError(Error):
    """The call was asked to stop."""


class TextError(Error, ValueError):
    """Text to pack that holds a character that is not a digit, or no digit."""


class TargetExistsError(Error):
    """A file is at pack's target, and force was not given."""


class WriteError(Error):
    """A file could not be created or written."""


class PartError(Error, ValueError):
    """A part's state that cannot be read, or that does not follow the part before."""


_classes = {
    "unreadable": NotADigitFileError, "too_short": NotADigitFileError, "wrong_magic": NotADigitFileError,
    "wrong_kind": NotADigitFileError, "negative_lead_words": NotADigitFileError,
    "unsupported_base": RangeError, "bad_position": RangeError, "past_end": RangeError, "bad_digits": RangeError,
    "bad_option": RangeError, "read_failed": ReadError, "out_of_memory": OutOfMemoryError, "stopped": StoppedError,
    "bad_text": TextError, "no_digits": TextError, "target_exists": TargetExistsError,
    "cannot_create": WriteError, "write_failed": WriteError, "size_unknown": Error, "bad_part": PartError,
}


def from_library(code, message, system_error, path):
    """The exception of a library error (called by rovurer._rovurer)."""
    if code == "cannot_open" and system_error:
        return OSError(system_error, os.strerror(system_error), path or None)
    if code == "cannot_open":
        return OSError(errno.EINVAL, message, path or None)
    shown = f"{path}: {message}" if path and code in ("unreadable", "too_short", "wrong_magic", "wrong_kind",
                                                      "negative_lead_words", "past_end", "read_failed",
                                                      "size_unknown", "cannot_create", "write_failed",
                                                      "target_exists", "bad_text", "no_digits") else message
    return _classes.get(code, Error)(code, shown)
