"""The exceptions vexutil raises.

Every one is a :class:`Error` and carries ``reason``, the library's own
words for what failed ("no such file", "frame 12 runs past the end of the
file"), and ``frame``, the output frame (from 0) a failure or damage was
met at, or None.
"""


class Error(Exception):
    """A failure reported by libvexutil."""

    def __init__(self, message, reason="", frame=None):
        super().__init__(message)
        self.reason = reason
        self.frame = frame

    def __reduce__(self):
        return (type(self), (str(self), self.reason, self.frame))


class OpenError(Error):
    """The input could not be opened (``reason`` says why)."""


class DamageError(Error):
    """A frame could not be decoded in full; ``frame`` is its index and
    ``reason`` names the first damage the source found."""


class WriteError(Error):
    """The output could not be created or completed; the file of its name
    (if any) is left as it was."""


class OptionError(Error, ValueError):
    """An option name or value the graphics source does not take."""
