"""Ctrl-C stops a long call and leaves the interpreter usable; the GIL is
released while the library works, so two Python threads' calls run at
once."""
import os
import signal
import threading
import time

import pytest

import rovurer
from conftest import write_digit_file


@pytest.fixture(scope="module")
def huge(tmp_path_factory):
    """2^36 zero words, sparse: 512 GiB of data, which no test reads whole."""
    path = write_digit_file(tmp_path_factory.mktemp("huge") / "huge", [], 0, 1 << 36)
    os.truncate(path, 4096 + 8 * (1 << 36))
    return path


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(), reason="signals reach the main thread")
def test_ctrl_c_stops_a_long_count_within_a_second(huge, mixed):
    sent = []

    def interrupt(done, total):
        if done > 0 and not sent:
            sent.append(time.monotonic())
            os.kill(os.getpid(), signal.SIGINT)

    # Python's own handler, whatever this process inherited: a process
    # started in the background by a shell ignores SIGINT.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        with rovurer.open(huge) as f:
            with pytest.raises(KeyboardInterrupt):
                f.count(2, progress=interrupt)
            stopped = time.monotonic() - sent[0]
            print(f"KeyboardInterrupt {stopped * 1000:.1f} ms after SIGINT")
            # The whole count would take minutes; a generous bound keeps a
            # loaded machine from failing it.
            assert stopped < 5
            # The interpreter, and the file, go on.
            assert f.digits(1, 5, 2) == "00000"
    finally:
        signal.signal(signal.SIGINT, previous)
    with rovurer.open(mixed[0]) as f:
        assert len(f.count(10)) == 10


def test_two_python_threads_count_at_once(mixed):
    path, _ = mixed
    with rovurer.open(path) as f:
        def one():
            for _ in range(10):
                f.stats(16, 1, 2000000, threads=1)

        def timed(calls):
            started = time.monotonic()
            workers = [threading.Thread(target=call) for call in calls]
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            return time.monotonic() - started

        # Best of three, each against one after the other in the same try.
        ratios = []
        for _ in range(3):
            alone = timed([one]) + timed([one])
            together = timed([one, one])
            ratios.append(together / alone)
        print(f"two threads at once take {min(ratios):.2f} of the time one after the other")
        assert min(ratios) < 0.9
