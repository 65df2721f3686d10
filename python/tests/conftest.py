"""Shared helpers of the Python tests: where the golden files are, and a
reader of the converter's documents."""
import html
import os
import re

import numpy as np
import pytest

_HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("ZEP_SOURCE_DIR", os.path.dirname(os.path.dirname(_HERE)))


def golden_dir():
    if os.environ.get("ZEP_GOLDEN_DIR"):
        return os.environ["ZEP_GOLDEN_DIR"]
    inside = os.path.join(SOURCE_DIR, "tests", "data", "golden")
    return inside if os.path.isdir(inside) else os.path.join(SOURCE_DIR, "..", "shared", "golden")


GOLDEN = golden_dir()


def golden(name):
    path = os.path.join(GOLDEN, name)
    if not os.path.exists(path):
        pytest.skip("golden file %s missing" % path)
    return path


def golden_names():
    return sorted(f[:-4] for f in os.listdir(GOLDEN) if f.endswith(".vkt") and os.path.exists(
        os.path.join(GOLDEN, f[:-4] + ".xml")))


_RECORD = re.compile(r"<vktrecord>(.*?)</vktrecord>", re.S)
_FIELD = re.compile(r"<([a-z0-9-]+)>(.*?)</\1>", re.S)


def _unescape(text):
    return html.unescape(text)


def read_document(name):
    """The records of a golden document: a list of dicts of texts, the
    values as a list of tokens under "values"."""
    with open(golden(name + ".xml"), encoding="utf-8") as fh:
        doc = fh.read()
    out = []
    for body in _RECORD.findall(doc):
        rec = {}
        for tag, text in _FIELD.findall(body):
            if tag == "vktdata":
                continue
            rec[tag] = text
        values = re.search(r"<values>(.*?)</values>", body, re.S)
        rec["values"] = values.group(1).split() if values else []
        out.append(rec)
    return out


def text_matches(ours, theirs):
    """A descriptor text against the document's (escaped, blank-padded):
    equal but for the trailing blanks, a control character of ours standing
    for the document's replacement character."""
    theirs = _unescape(theirs).rstrip(" ")
    if len(ours) != len(theirs):
        return False
    for a, b in zip(ours, theirs):
        if a != b and not (b == "\ufffd" and (ord(a) < 0x20 or ord(a) == 0x7F)):
            return False
    return True


def value_texts_equal(values, tokens):
    """Values against the document's texts as the converter writes them
    ("%12.6g": reals as 32-bit floats, integers exact). Returns the first index
    that differs, or -1."""
    flat = np.asarray(values).reshape(-1)
    if len(flat) != len(tokens):
        return -2
    if flat.dtype.kind in "iu":  # integers: exact, as doubles
        shown = flat.astype(np.float64)
    else:
        with np.errstate(over="ignore"):  # 64-bit values beyond float's range show as inf
            shown = flat.astype(np.float32)
    for n, (v, t) in enumerate(zip(shown.tolist(), tokens)):
        if t in ("nan", "-nan"):
            if not (np.isnan(v) and (np.signbit(np.float32(v)) == t.startswith("-"))):
                return n
        elif "%.6g" % v != t:
            return n
    return -1
