"""The progress bar of progress=True: tqdm's, when tqdm is installed."""


class _Bar:
    def __init__(self):
        try:
            from tqdm import tqdm
        except ImportError as missing:
            raise ImportError("progress=True needs tqdm (Debian: python3-tqdm); pass a callable instead") from missing
        self._make = tqdm
        self._bar = None

    def __call__(self, done, total):
        if self._bar is None:
            self._bar = self._make(total=total, unit=" digits", unit_scale=True, dynamic_ncols=True)
        self._bar.update(done - self._bar.n)

    def close(self):
        if self._bar is not None:
            self._bar.close()


def bar():
    """A callable (done, total) that draws a tqdm bar, and close()."""
    return _Bar()
