"""The Dask example on a LocalCluster against the command line."""
import json
import os
import subprocess
import sys

import pytest

from conftest import SOURCE, tool

pytest.importorskip("dask.distributed")


@pytest.mark.parametrize("base", [10, 2])
def test_dask_counts_and_statistics_are_the_command_lines(mixed, base):
    path, _ = mixed
    example = str(SOURCE / "examples" / "python" / "dask_count.py")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    counted = subprocess.run([sys.executable, example, path, str(base), "--pieces", "7"], capture_output=True,
                             text=True, env=env, timeout=300)
    assert counted.returncode == 0, counted.stderr
    assert counted.stdout == tool("--count", path, base)
    stats = subprocess.run([sys.executable, example, path, str(base), "--stats", "--pieces", "5"],
                           capture_output=True, text=True, env=env, timeout=300)
    assert stats.returncode == 0, stats.stderr
    assert json.loads(stats.stdout) == json.loads(tool("--stats", "--json", path, base))
