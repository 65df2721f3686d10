"""Records: every golden file against the converter's document, reading out of
order, searching, writing every data type back, erasing, and errors."""
import glob
import os
import threading

import numpy as np
import pytest

import zep
from conftest import SOURCE_DIR, golden, golden_names, read_document, text_matches, value_texts_equal

_INT_TAGS = ("ip1", "ip2", "ip3", "ni", "nj", "nk", "dateo", "datev", "deet", "npas", "ig1", "ig2", "ig3", "ig4",
             "nbits", "datyp", "swa", "lng", "dltf", "ubc", "extra1", "extra2", "extra3")

# The dtype of values() by data type (compression bit 128 cleared).
_NATURAL = {0: None, 1: np.float32, 2: np.uint32, 3: np.uint8, 4: np.int32, 6: np.float32}


@pytest.mark.parametrize("name", golden_names())
def test_golden_records_equal_the_document(name):
    doc = read_document(name)
    with zep.open(golden(name + ".vkt")) as f:
        assert len(f) == len(doc)
        recs = list(f)
        assert len(recs) == len(doc)
        # Read in reverse order, after the walk ended: records stay readable.
        for rec, expected in reversed(list(zip(recs, doc))):
            where = "%s record %d" % (name, rec.index)
            for tag in ("nomvar", "typvar", "etiket", "grtyp"):
                assert text_matches(getattr(rec, tag), expected[tag]), (where, tag, getattr(rec, tag))
            for tag in _INT_TAGS:
                assert getattr(rec, tag) == int(expected[tag]), (where, tag)
            assert rec.level_text == expected["level"].lstrip(" "), where
            for attr, tag, text in (("origin", "date-of-origin", rec.origin_text),
                                    ("validity", "date-of-validity", rec.validity_text)):
                t = getattr(rec, attr)
                assert isinstance(t, np.datetime64)
                if np.isnat(t):  # an origin that cannot be read: the document shows zeros
                    assert text == "" and expected[tag] == "0000-00-00T00:00:00Z", (where, tag)
                    continue
                assert text == expected[tag], (where, tag)
                try:
                    in_calendar = np.datetime64(expected[tag][:-1])
                except ValueError:  # 1981-02-30 of an old stamp: the day it stands for
                    in_calendar = None
                if in_calendar is not None:
                    assert t == in_calendar, (where, tag)
            values = rec.values()
            shown = rec.values(dtype=np.float32)
            assert shown.dtype == np.float32 and shown.size == rec.ni * rec.nj * rec.nk
            if values.dtype.kind in "iu":
                # Integers beyond 2^24 have no float of their own: the float
                # view is the nearest float.
                np.testing.assert_array_equal(shown, values.astype(np.float32), err_msg=where)
            else:
                assert value_texts_equal(shown, expected["values"]) == -1, where
            datyp = rec.datyp & 0x7F
            if datyp == 5:
                assert values.dtype == (np.float64 if rec.nbits == 64 else np.float32), where
            elif _NATURAL.get(datyp) is not None:
                assert values.dtype == _NATURAL[datyp], where
            assert values.shape == ((rec.nk, rec.nj, rec.ni) if rec.nk != 1 else (rec.nj, rec.ni)), where
            assert value_texts_equal(values, expected["values"]) == -1, where


def test_levels_and_times_are_decoded():
    with zep.open(golden("levels_old.vkt")) as f:
        rec = f.find(ip1=500)[0] if f.find(ip1=500) else next(iter(f))
        assert rec.level_text.endswith(rec.level_kind_text)
        assert isinstance(rec.level, float)
    with zep.open(golden("dates.vkt")) as f:
        rec = next(iter(f))
        assert rec.origin == np.datetime64("1983-10-26T21:00:00")
        assert rec.validity.dtype == np.dtype("datetime64[s]")
        assert zep.stamp_to_unix(rec.dateo) == rec.origin.astype(np.int64)


def test_find_by_every_key_and_out_of_order_reads_in_sequential_files():
    path = golden("many_records.vkt")
    with zep.open(path) as f:
        recs = list(f)
        target = recs[137]
        found = f.find(nomvar=target.nomvar, typvar=target.typvar, etiket=target.etiket, ip1=target.ip1,
                       ip2=target.ip2, ip3=target.ip3, datev=target.datev)
        assert target.index in [r.index for r in found]
        by_name = f.find(nomvar=target.nomvar)
        assert [r.index for r in by_name] == [r.index for r in recs if r.nomvar == target.nomvar]
        assert len(f.find()) == len(recs)
        assert f.find(nomvar="ZZZZ") == []
        if target.validity == target.validity:  # decodable: search by datetime64 too
            assert target.index in [r.index for r in f.find(nomvar=target.nomvar, datev=target.validity)]
    with zep.open(golden("dates.vkt")) as f:
        # A stamp off the calendar (February 30 of an old stamp): the record's
        # datev is the day it stands for, and finds the record.
        odd = [r for r in f if r.datev != r.extra1]
        assert odd
        for r in odd:
            assert r.index in [x.index for x in f.find(nomvar=r.nomvar, datev=r.datev)]
    doc = read_document("sequential")
    with zep.open(golden("sequential.vkt")) as f:
        recs = list(f)
        # The last record first, then the first: a sequential file is read
        # back and forth.
        assert value_texts_equal(recs[-1].values(np.float32), doc[-1]["values"]) == -1
        assert value_texts_equal(recs[0].values(np.float32), doc[0]["values"]) == -1


def test_values_into_a_caller_array_and_threads():
    with zep.open(golden("many_records.vkt")) as f:
        recs = [r for r in f if r.size > 0]
        expected = [r.values(np.float32) for r in recs]
        # Arrays of values() never share memory while alive; a freed one's
        # memory serves the next read without disturbing the others.
        a, b = recs[0].values(np.float32), recs[1].values(np.float32)
        assert not np.shares_memory(a, b) and a.flags.writeable and a.flags.c_contiguous
        keep = b.copy()
        del a
        c = recs[0].values(np.float32)
        np.testing.assert_array_equal(b, keep)
        np.testing.assert_array_equal(c, expected[0])
        out = np.empty(max(r.size for r in recs) + 3, dtype=np.float32)
        r = recs[5]
        assert r.values(out=out[: r.size]) is not None
        np.testing.assert_array_equal(out[: r.size], expected[5].reshape(-1))
        with pytest.raises(zep.Error):
            r.values(out=out[: r.size - 1])  # too small: refused, not overrun
        with pytest.raises(ValueError):
            r.values(out=np.empty((r.size, 2), np.float32)[:, 0])  # not contiguous
        # Several threads decoding at once through one file give the same values.
        failures = []

        def work():
            for rec, exp in zip(recs, expected):
                if not np.array_equal(rec.values(np.float32), exp, equal_nan=True):
                    failures.append(rec.index)
        threads = [threading.Thread(target=work) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert failures == []


def _write_every_type(path):
    rng = np.random.default_rng(7)
    field = rng.uniform(-50.0, 320.0, size=(6, 11)).astype(np.float32)
    cases = [
        dict(values=field, nomvar="P16"),                                    # default: datyp 1, 16 bits
        dict(values=field, nomvar="P8", nbits=8),
        dict(values=field.astype(np.float64), nomvar="PD"),                  # float64 packed too
        dict(values=field, nomvar="IE32", datyp=5),                          # 32-bit IEEE
        dict(values=field.astype(np.float64) / 3.0, nomvar="IE64", datyp=5),  # 64-bit IEEE
        dict(values=field, nomvar="FP", datyp=6),                            # float packer
        dict(values=field, nomvar="CP", datyp=129),                          # compressed packed reals
        dict(values=field, nomvar="CF", datyp=134),                          # compressed float packer
        dict(values=rng.integers(-2**31, 2**31 - 1, size=(3, 4, 5), dtype=np.int64).astype(np.int32), nomvar="I32"),
        dict(values=rng.integers(0, 2**32 - 1, size=(4, 7), dtype=np.uint64).astype(np.uint32), nomvar="U32"),
        dict(values=np.frombuffer(b"wind & <rain>\x00\xff", dtype=np.uint8), nomvar="CH"),
        dict(values=np.arange(12, dtype=np.int64).reshape(3, 4) - 6, nomvar="I64"),  # int64 that fits
    ]
    when = np.datetime64("2024-02-29T18:00:00")
    with zep.open(path, "w") as f:
        for n, case in enumerate(cases):
            values = case.pop("values")
            f.write(values, typvar="P", etiket="ROUNDTRIP", ip1=n + 1, ip2=6, ip3=n, dateo=when, deet=1800,
                    npas=12, grtyp="L", ig1=50, ig2=100, ig3=13500, ig4=27000, **case)
            case["values"] = values
    return cases, when


def test_write_then_read_back_every_data_type(tmp_path):
    path = str(tmp_path / "every_type.vkt")
    cases, when = _write_every_type(path)
    with zep.open(path) as f:
        recs = list(f)
        assert len(f) == len(cases) == len(recs)
        for rec, case in zip(recs, cases):
            written = np.asarray(case["values"])
            got = rec.values()
            where = case["nomvar"]
            assert (rec.nomvar, rec.typvar, rec.etiket, rec.grtyp) == (where, "P", "ROUNDTRIP", "L")
            assert (rec.ip2, rec.deet, rec.npas, rec.ig3) == (6, 1800, 12, 13500)
            assert rec.origin == when
            assert rec.validity == when + np.timedelta64(6, "h")
            assert got.size == written.size
            assert got.shape == (written.shape if written.ndim > 1 else (1,) + written.shape)
            if written.dtype.kind == "f" and rec.datyp != 5:
                assert got.dtype == np.float32
                nbits = case.get("nbits", 16)
                step = (written.max() - written.min()) / (2 ** nbits - 1)
                # Packed reals: steps of a power of two covering the range.
                step = 2.0 ** np.ceil(np.log2(step))
                tol = step if rec.datyp & 0x7F == 1 else np.abs(written).max() * 2.0 ** -10
                assert np.abs(got.reshape(written.shape) - written).max() <= tol, where
                assert rec.nbits == nbits
            elif written.dtype == np.int64:
                assert got.dtype == np.int32
                np.testing.assert_array_equal(got, written)
            else:
                assert got.dtype == written.dtype, where
                np.testing.assert_array_equal(got.reshape(written.shape), written)
            if written.dtype.kind in "iu" and written.dtype != np.uint8:
                assert rec.nbits == 32


def test_erase_and_append(tmp_path):
    path = str(tmp_path / "erase.vkt")
    with zep.open(path, "w") as f:
        for n in range(3):
            f.write(np.full((2, 3), n, np.float32), nomvar="E%d" % n, ip1=n)
    with zep.open(path, "a") as f:
        recs = list(f)
        f.erase(recs[1])
        assert len(f) == 2
        assert [r.nomvar for r in f] == ["E0", "E2"]
        assert f.find(nomvar="E1") == []
        with pytest.raises(zep.Error):
            recs[1].values()
        np.testing.assert_array_equal(recs[2].values(), np.full((2, 3), 2, np.float32))
        f.write(np.ones(4, np.int32), nomvar="NEW")
        assert [r.nomvar for r in f] == ["E0", "E2", "NEW"]
    with zep.open(path) as f:
        assert len(f) == 3
        with pytest.raises(zep.Error) as err:
            f.write(np.ones(4, np.float32), nomvar="RO")
        assert str(err.value)


def test_errors_carry_the_library_message(tmp_path):
    assert issubclass(zep.Error, OSError)
    missing = str(tmp_path / "missing.vkt")
    with pytest.raises(zep.Error) as err:
        zep.open(missing)
    assert str(err.value) and isinstance(err.value.code, int) and err.value.code < 0
    text = tmp_path / "text.vkt"
    text.write_text("not a standard file at all\n" * 100)
    with pytest.raises(zep.Error):
        zep.open(str(text))
    with pytest.raises(ValueError):
        zep.open(missing, "x")
    f = zep.open(golden("dates.vkt"))
    rec = next(iter(f))
    f.close()
    with pytest.raises(ValueError):
        rec.values()
    with pytest.raises(ValueError):
        len(f)
    with zep.open(str(tmp_path / "w.vkt"), "w") as w:
        with pytest.raises(ValueError):
            w.write(np.ones(3, np.float32), nomvar="TOOLONG")
        with pytest.raises(ValueError):
            w.write(np.ones(3, np.float32), nomvar="N", ni=2)
        with pytest.raises(TypeError):
            w.write(np.array(["a"]), nomvar="S")


def test_check_reports_sound_and_damaged_files(tmp_path):
    sound = zep.check(golden("deleted.vkt"))
    assert (sound["records"], sound["damaged"], sound["message"]) == (len(read_document("deleted")), False, "")
    assert sound["deleted"] > 0 and sound["bytes"] == os.path.getsize(golden("deleted.vkt"))
    flipped = os.path.join(SOURCE_DIR, "tests", "damaged", "checksum_flipped.vkt")
    if os.path.exists(flipped):
        report = zep.check(flipped)
        assert report["damaged"] and report["message"]
    with pytest.raises(zep.Error):
        zep.check(str(tmp_path / "missing.vkt"))


def test_damaged_files_raise_zep_error_without_crashing():
    damaged = sorted(glob.glob(os.path.join(SOURCE_DIR, "tests", "damaged", "*.vkt")))
    if not damaged:
        pytest.skip("no damaged files in the source tree")
    failed = set()
    for path in damaged:
        try:
            with zep.open(path) as f:
                for rec in f:
                    rec.values()
        except zep.Error as e:
            assert str(e), path
            failed.add(os.path.basename(path))
    # Files cut inside their header or first page cannot be opened at all.
    assert {"cut_in_header.vkt", "cut_after_header.vkt"} <= failed, failed
    assert len(failed) >= len(damaged) // 2, failed
