"""Each call of the module against the command line's output, on the samples
and on generated files; arrays at word and block edges against the words
themselves; positions past 2^53; every error type."""
import json
import os
import pickle

import numpy
import pytest

import rovurer
from conftest import PER_WORD, PI10, PI16, reference_digits, tool, write_digit_file


@pytest.mark.parametrize("path,base,pos,n", [
    (PI10, 10, 1, 50), (PI10, 10, 3790, 50), (PI10, 16, 7, 333), (PI10, 2, 12790, 20), (PI16, 16, 1, 3200),
])
def test_digits_are_the_dumps(path, base, pos, n):
    with rovurer.open(path) as f:
        assert f.digits(pos, n, base) == tool("--group", 0, path, base, pos, n).strip()
        assert f.digits(pos, n, base, threads=1) == f.digits(pos, n, base, threads=2)


def test_arrays_at_word_and_block_edges_in_every_base(mixed):
    path, words = mixed
    block = 1 << 20
    with rovurer.open(path) as f:
        for base in (10, 16, 2):
            per = PER_WORD[base]
            # Around the first word's end, a block's end, and the data's end.
            total = (len(words) - 1) * per
            for pos, n in ((1, per + 1), (per - 2, 5), (per * block - 40, 100), (per * (block - 1) + 3, per * 3),
                           (total - 70, 70), (total - 5, 100)):
                wanted = reference_digits(words, 1, base, pos, n)
                got = f.array(pos, n, base)
                assert got.dtype == numpy.uint8
                assert "".join("0123456789ABCDEF"[v] for v in got) == wanted, (base, pos, n)
            # Into an array given, from its start; the rest as it was.
            out = numpy.full(per * 4, 99, dtype=numpy.uint8)
            assert f.array(per * block - 9, None, base, out=out) is out
            assert "".join("0123456789ABCDEF"[v] for v in out) == reference_digits(words, 1, base, per * block - 9,
                                                                                 per * 4)
            # Where the data ends first: the view of the values written.
            tail = numpy.full(50, 99, dtype=numpy.uint8)
            written = f.array(total - 9, 50, base, out=tail)
            assert len(written) == 10 and numpy.shares_memory(written, tail)
            assert "".join("0123456789ABCDEF"[v] for v in written) == reference_digits(words, 1, base, total - 9, 10)
            assert list(tail[10:]) == [99] * 40
            first = f.array(1, 5, base, out=tail)
            assert len(first) == 5 and numpy.shares_memory(first, tail)


def test_find_count_compare_and_text_are_the_command_lines(tmp_path, mixed):
    path, words = mixed
    with rovurer.open(PI10) as pi, rovurer.open(PI16) as hex_pi, rovurer.open(path) as f:
        for digits, base, pos, n in (("999999", 10, 1, None), ("14", 10, 7, 2000), ("3F6A", 16, 1, None),
                                     ("0101", 2, 100, 3000)):
            args = ["--find", digits, PI10, base, pos] + ([] if n is None else [n])
            assert pi.find(digits, base, pos, n) == [int(line) for line in tool(*args, check=False).split()]
            assert list(pi.finditer(digits, base, pos, n, page=3)) == pi.find(digits, base, pos, n)
        assert pi.find("14", max_count=2) == [1, 103]
        for base in (10, 16, 2):
            counts = [int(line.split()[1]) for line in tool("--count", path, base, 5, 1000000).splitlines()]
            assert list(f.count(base, 5, 1000000)) == counts
            assert f.count(base, 5, 1000000).dtype == numpy.uint64
        same = rovurer.compare(pi, pi, 10)
        assert same["equal"] and same["difference"] is None
        other = rovurer.compare(pi, hex_pi, 10)
        first = tool("--compare", PI10, PI16, 10, check=False).split()[-1]
        assert not other["equal"] and other["difference"] == int(first)
        shorter = write_digit_file(tmp_path / "shorter", [6264338327950288419, 1415926535897932384, 3], 1)
        with rovurer.open(shorter) as short:
            ended = rovurer.compare(pi, short, 10, 1, 100)
            assert ended["ends_first"] == 2 and ended["last_common"] == 38 and ended["difference"] is None
        text = tmp_path / "text"
        assert pi.text(str(text), 10, 1, 1000, per_line=100) == 1000
        assert text.read_text() == tool("--per-line", 100, PI10, 10, 1, 1000)
        pi.text(str(text), 16, 9, 500, group=0, per_line=64, labels=False)
        assert text.read_text() == tool("--group", 0, "--per-line", 64, "--no-labels", PI10, 16, 9, 500)


def test_pack_makes_the_command_lines_file(tmp_path):
    text = tmp_path / "digits.txt"
    text.write_text("3.1415926535 8979323846\n2643383279 50288\n")
    made = rovurer.pack(str(text), str(tmp_path / "py"), 10)
    assert made == {"word_count": 3, "lead_words": 1, "digits": 35, "padding": 3}
    tool("--pack", text, tmp_path / "cli", 10)
    assert (tmp_path / "py").read_bytes() == (tmp_path / "cli").read_bytes()
    with pytest.raises(rovurer.TargetExistsError) as refused:
        rovurer.pack(str(text), str(tmp_path / "py"), 10)
    assert refused.value.code == "target_exists"
    rovurer.pack(str(text), str(tmp_path / "py"), 10, force=True, threads=2)
    text.write_text("3.14x")
    with pytest.raises(rovurer.TextError) as bad:
        rovurer.pack(str(text), str(tmp_path / "bad"), 10)
    assert bad.value.code == "bad_text" and "line 1, column 5: 'x' is not a base-10 digit" in str(bad.value)
    assert not (tmp_path / "bad").exists()


def test_positions_past_2_to_the_53_are_exact(tmp_path):
    far = 2**53 + 1
    words = [(k * 1234567890123456789) % 10**19 for k in range(60)]
    path = write_digit_file(tmp_path / "far", words, 0, (far - 1) // 19 + 50)
    with rovurer.open(path) as f:
        assert f.facts["digits"][10] == ((far - 1) // 19 + 50) * 19
        digits = f.digits(far, 40)
        assert digits == tool("--group", 0, path, 10, far, 40).strip()
        found = f.find(digits[3:9], 10, far, 40)
        assert far + 3 in found and all(isinstance(p, int) for p in found)


def test_statistics_are_the_command_lines(mixed):
    path, words = mixed
    with rovurer.open(path) as f, rovurer.open(PI10) as pi:
        for base in (10, 16, 2):
            assert f.stats(base, 3, 200000) == json.loads(tool("--stats", "--json", path, base, 3, 200000))
            assert f.missing(3, base, 11, 5000) == json.loads(tool("--missing", 3, "--json", path, base, 11, 5000))
            runs = [(int(p), d, int(n)) for p, d, n in (line.split() for line in tool("--runs", 4, path, base, 1,
                                                                                      300000).splitlines())]
            assert f.runs(4, base, 1, 300000) == runs
            assert f.runs(4, base, 1, 300000, max_count=3) == runs[:3]
        blocks = f.blocks(1000, 10, 1, 4500)
        lines = [line.split(",") for line in tool("--blocks", 1000, path, 10, 1, 4500).splitlines()]
        assert list(blocks["pos"]) == [int(line[0]) for line in lines]
        assert list(blocks["digits"]) == [1000] * 4 + [500]
        assert blocks["counts"].shape == (5, 10) and list(blocks["counts"][4]) == [int(c) for c in lines[4][2:12]]
        assert list(blocks["chi_square"]) == [float(line[12]) for line in lines]
        assert pi.self_locating() == [int(line) for line in tool("--self-locating", PI10, 10).split()]
        first = pi.first_positions(2)
        assert len(first) == 100 and first[14] == 1 and first[0] == int(tool("--find", "00", "--max-count", 1, PI10,
                                                                              10))
        assert pi.missing(3, n=1000) == {"distinct": [10, 100, 633], "smallest_missing": "103"}
        walk = pi.walk(10, 1, 1000, points=100)
        assert walk["svg"].startswith("<svg ") and walk["steps"] == pi.stats(n=1000)["walk"]["steps"]
        assert rovurer.chi_square_p_value(16.919, 9) == pytest.approx(0.05, abs=5e-5)


def test_states_merge_pickle_and_refuse_a_part_out_of_order(mixed):
    path, _ = mixed
    with rovurer.open(path) as f:
        parts = [f.gather_statistics(10, 1, 100000, part=(k, 3)) for k in (1, 2, 3)]
        whole = pickle.loads(pickle.dumps(parts[0]))
        for part in parts[1:]:
            whole.merge(pickle.loads(pickle.dumps(part)))
        assert whole.summary() == f.stats(10, 1, 100000)
        with pytest.raises(rovurer.PartError):
            parts[0].merge(parts[2])
        strings = [f.gather_strings(4, 16, 1, 70000, part=(k, 2)) for k in (1, 2)]
        assert strings[0].merge(strings[1]).summary() == f.missing(4, 16, 1, 70000)
        with pytest.raises(rovurer.PartError):
            rovurer.StatisticsState.from_json("{}")


@pytest.mark.parametrize("call,kind,code", [
    (lambda: rovurer.open("/nonexistent/file"), FileNotFoundError, None),
    (lambda: rovurer.open(__file__), rovurer.NotADigitFileError, "wrong_magic"),
    (lambda: rovurer.open(PI10).digits(3801, 1), rovurer.RangeError, "past_end"),
    (lambda: rovurer.open(PI10).digits(0, 1), rovurer.RangeError, "bad_position"),
    (lambda: rovurer.open(PI10).count(8), rovurer.RangeError, "unsupported_base"),
    (lambda: rovurer.open(PI10).find("12a"), rovurer.RangeError, "bad_digits"),
    (lambda: rovurer.open(PI10).count(kernels="nope"), rovurer.RangeError, "bad_option"),
    (lambda: rovurer.open(PI10).missing(10), rovurer.RangeError, "bad_option"),
    (lambda: rovurer.open(PI10).digits(1, -1), ValueError, None),
    (lambda: rovurer.open(PI10).array(1, 10, out=numpy.zeros(10, dtype=numpy.int32)), TypeError, None),
    (lambda: rovurer.open(PI10).array(1, 10, out=numpy.zeros(20, dtype=numpy.uint8)[::2]), TypeError, None),
    (lambda: rovurer.open(PI10).array(1, 10, out=numpy.zeros(9, dtype=numpy.uint8)), ValueError, None),
    (lambda: rovurer.open(PI10).finditer("14", page=0), ValueError, None),
    (lambda: rovurer.open(PI10).count(threads=-1), ValueError, None),
])
def test_each_error_has_its_type_and_code(call, kind, code):
    with pytest.raises(kind) as raised:
        call()
    if code is not None:
        assert raised.value.code == code
        assert isinstance(raised.value, rovurer.Error) and raised.value.message


def test_a_short_file_and_a_closed_one(tmp_path):
    short = tmp_path / "short"
    short.write_bytes(b"MPT\x01FILE")
    with pytest.raises(rovurer.NotADigitFileError) as refused:
        rovurer.open(str(short))
    assert refused.value.code == "too_short" and str(short) in str(refused.value)
    f = rovurer.open(PI10)
    f.close()
    with pytest.raises(ValueError, match="closed file"):
        f.digits()
    assert f.closed and "closed" in repr(f)


def test_a_file_cut_under_a_call_gives_a_read_error(tmp_path, mixed):
    path, words = mixed
    copy = tmp_path / "cut"
    copy.write_bytes(open(path, "rb").read())
    with rovurer.open(str(copy)) as f:
        os.truncate(copy, 4096 + 8 * 1000)
        with pytest.raises(rovurer.ReadError) as failed:
            f.count(10, threads=1)
        assert failed.value.code == "read_failed"


def test_progress_is_called_from_zero_and_its_errors_stop_the_call(mixed):
    path, _ = mixed
    seen = []
    with rovurer.open(path) as f:
        f.count(10, progress=lambda done, total: seen.append((done, total)), threads=2)
        total = seen[0][1]
        assert seen[0] == (0, total) and total == (len(mixed[1]) - 1) * 19
        assert all(0 <= done <= total for done, _ in seen) and [d for d, _ in seen] == sorted(d for d, _ in seen)

        def refuse(done, total):
            if done > 0:
                raise RuntimeError("enough")

        with pytest.raises(RuntimeError, match="enough"):
            f.count(10, progress=refuse, threads=1)
        with pytest.raises(TypeError):
            f.count(progress=3)
