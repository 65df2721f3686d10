"""Files and records: zep.open, File, Record."""
import datetime as _dt
import operator as _operator

import numpy as np

from . import _zep

Error = _zep.Error

_INT_FIELDS = ("ip1", "ip2", "ip3", "ni", "nj", "nk", "nbits", "datyp", "dateo", "datev",
               "deet", "npas", "ig1", "ig2", "ig3", "ig4",
               "swa", "lng", "dltf", "ubc", "extra1", "extra2", "extra3", "index")
_TEXT_FIELDS = ("nomvar", "typvar", "etiket", "grtyp")
# The descriptors that find() and write() take.
DESCRIPTORS = ("nomvar", "typvar", "etiket", "grtyp", "ip1", "ip2", "ip3", "ni", "nj", "nk",
               "nbits", "datyp", "dateo", "datev", "deet", "npas", "ig1", "ig2", "ig3", "ig4")


def _seconds_to_datetime64(seconds):
    return np.datetime64(int(seconds), "s")


class Record:
    """One record of an open file: its descriptor, decoded level and times,
    and values() to decode its values. Stays readable while its file is open,
    whatever the file did since (walks, searches, reads of other records)."""

    __slots__ = ("_file", "_raw")

    def __init__(self, file, raw):
        self._file = file
        self._raw = raw

    @property
    def file(self):
        return self._file

    @property
    def level(self):
        """The decoded level's value (float), None when ip1 cannot be decoded."""
        return float(self._raw.level) if self._raw.level_ok else None

    @property
    def level_kind(self):
        """The level kind's code (0..31), None when ip1 cannot be decoded."""
        return self._raw.level_kind if self._raw.level_ok else None

    @property
    def level_kind_text(self):
        """The kind as the converter writes it ("mb", "sg", ...); "" when undecoded."""
        return self._raw.level_kind_text if self._raw.level_ok else ""

    @property
    def level_text(self):
        """The converter's text of the level, "" when ip1 cannot be decoded."""
        return self._raw.level_text

    @property
    def origin(self):
        """The origin time (numpy.datetime64, seconds), NaT when undecodable."""
        return _seconds_to_datetime64(self._raw.dateo_unix) if self._raw.dateo_ok else np.datetime64("NaT", "s")

    @property
    def validity(self):
        """The validity time (numpy.datetime64, seconds), NaT when undecodable."""
        return _seconds_to_datetime64(self._raw.datev_unix) if self._raw.datev_ok else np.datetime64("NaT", "s")

    @property
    def origin_text(self):
        """The origin time as the converter writes it ("YYYY-MM-DDThh:mm:ssZ"),
        "" when undecodable."""
        return self._raw.dateo_iso

    @property
    def validity_text(self):
        """The validity time as the converter writes it, "" when undecodable."""
        return self._raw.datev_iso

    @property
    def dtype(self):
        """The dtype of values(): float32, float64, int32, uint32 or uint8."""
        return self._raw.dtype

    @property
    def shape(self):
        r = self._raw
        return (r.nk, r.nj, r.ni) if r.nk != 1 else (r.nj, r.ni)

    @property
    def size(self):
        return self._raw.count

    def values(self, dtype=None, out=None):
        """The record's values as a new array of shape (nj, ni), or (nk, nj, ni)
        when nk is not 1, whose C-order flattening is the file's order (i fastest).

        dtype: None for the record's own type; float32 reads every data type
        as the converter shows it. out: a C-contiguous array to decode into
        (float32, float64, int32, uint32 or uint8, at least size elements);
        it is returned."""
        if out is not None:
            self._file._raw_file().read_into(self._raw, out)
            return out
        return self._file._raw_file().values(self._raw, dtype)

    def descriptors(self):
        """The record's descriptors as a dict (the keywords of File.write)."""
        return {name: getattr(self._raw, name) for name in DESCRIPTORS}

    def __repr__(self):
        r = self._raw
        return ("<zep.Record %r typvar=%r etiket=%r ip1=%d ip2=%d ip3=%d %dx%dx%d datyp=%d "
                "nbits=%d validity=%s>" % (r.nomvar, r.typvar, r.etiket, r.ip1, r.ip2, r.ip3, r.ni, r.nj,
                                           r.nk, r.datyp, r.nbits, r.datev_iso or "-"))


for _name in _INT_FIELDS + _TEXT_FIELDS:
    setattr(Record, _name, property(_operator.attrgetter("_raw." + _name)))
del _name


def _stamp(value):
    """A date stamp from an int stamp, numpy.datetime64, datetime or None (-1)."""
    if value is None:
        return -1
    if isinstance(value, (int, np.integer)):
        return int(value)
    if isinstance(value, _dt.datetime):
        if value.tzinfo is not None:
            value = value.astimezone(_dt.timezone.utc).replace(tzinfo=None)
        value = np.datetime64(value)
    if isinstance(value, np.datetime64):
        seconds = int(value.astype("datetime64[s]").astype(np.int64))
        return _zep.stamp_from_unix(seconds)
    raise TypeError("a date is an int stamp, a numpy.datetime64 or a datetime, not %r" % (value,))


# Value types that write() takes as they are, and the data type and width
# each gets by default.
_WRITE_DEFAULTS = {
    np.dtype(np.float32): (1, 16),
    np.dtype(np.float64): (1, 16),
    np.dtype(np.int32): (4, 32),
    np.dtype(np.uint32): (2, 32),
    np.dtype(np.uint8): (3, 8),
}
_FLOAT_DATYPS = {1, 5, 6, 129, 133, 134}


class File:
    """An open standard file. Use zep.open()."""

    def __init__(self, path, mode="r"):
        if mode not in ("r", "w", "a"):
            raise ValueError("mode is 'r', 'w' or 'a', not %r" % (mode,))
        self.path = str(path)
        self.mode = mode
        self._f = _zep.RawFile(self.path, mode)
        self._listing = None  # records in file order, kept until a write or an erase

    # -- life ---------------------------------------------------------------
    def close(self):
        """Closes the file; records of it are no longer readable."""
        self._listing = None
        self._f.close()

    @property
    def closed(self):
        return self._f.closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        return "<zep.File %r mode=%r%s>" % (self.path, self.mode, " closed" if self.closed else "")

    def _raw_file(self):
        return self._f

    # -- records ----------------------------------------------------------------
    def _walk(self):
        if self._listing is None:
            self._listing = self._f.walk()
        return self._listing

    def __len__(self):
        return self._f.count()

    def __iter__(self):
        """The live records in file order."""
        return (Record(self, raw) for raw in self._walk())

    def records(self):
        return list(self)

    def record(self, index):
        """The index-th live record in file order."""
        return Record(self, self._walk()[index])

    def find(self, nomvar=None, typvar=None, etiket=None, ip1=None, ip2=None, ip3=None, datev=None):
        """The records matching every key given (omitted keys match anything),
        in file order. datev is a stamp, a numpy.datetime64 or a datetime."""
        def ival(v):
            return -1 if v is None else int(v)
        # The search layer matches datev against the stored stamp, which
        # differs from the record's datev (recomputed from dateo, deet and
        # npas) for stamps off the calendar: datev is matched here instead.
        found = self._f.find(nomvar or "", typvar or "", etiket or "", ival(ip1), ival(ip2), ival(ip3), -1)
        stamp = _stamp(datev)
        return [Record(self, raw) for raw in found if stamp == -1 or raw.datev == stamp]

    # -- writing ------------------------------------------------------------------
    def write(self, values, nomvar, typvar="", etiket="", ip1=0, ip2=0, ip3=0, dateo=0, deet=0, npas=0,
              grtyp="X", ig1=0, ig2=0, ig3=0, ig4=0, datyp=None, nbits=None, ni=None, nj=None, nk=None):
        """Writes values as a new record.

        values: an array of float32 or float64 (packed reals of 16 bits by
        default: datyp 1), int32 (signed integers, 32 bits: datyp 4), uint32
        (unsigned integers, 32 bits: datyp 2) or uint8 (characters: datyp 3);
        other integer arrays are written as int32 when their values fit. Its
        shape gives ni, nj, nk: (ni,), (nj, ni) or (nk, nj, ni) (file order is
        C order), unless they are given. dateo: a stamp, numpy.datetime64 or
        datetime."""
        arr = np.asarray(values)
        if arr.dtype not in _WRITE_DEFAULTS:
            if arr.dtype.kind in "iub":
                converted = arr.astype(np.int32)
                if not np.array_equal(converted, arr):
                    raise ValueError("integer values beyond 32-bit signed integers")
                arr = converted
            elif arr.dtype.kind == "f":
                arr = arr.astype(np.float64)
            else:
                raise TypeError("cannot write values of dtype %s" % arr.dtype)
        arr = np.ascontiguousarray(arr)
        if arr.dtype.byteorder not in ("=", "|"):
            arr = arr.astype(arr.dtype.newbyteorder("="))
        default_datyp, default_nbits = _WRITE_DEFAULTS[arr.dtype]
        if datyp is None:
            datyp = default_datyp
        if nbits is None:
            nbits = default_nbits
            if arr.dtype.kind == "f" and datyp in (5, 133):
                nbits = 64 if arr.dtype == np.float64 else 32
        if datyp in _FLOAT_DATYPS and arr.dtype.kind != "f":
            arr = arr.astype(np.float32)
        shape = arr.shape if arr.ndim else (1,)
        if len(shape) > 3:
            raise ValueError("values have at most 3 dimensions (nk, nj, ni)")
        dims = (1,) * (3 - len(shape)) + tuple(shape)
        nk = dims[0] if nk is None else nk
        nj = dims[1] if nj is None else nj
        ni = dims[2] if ni is None else ni
        if int(ni) * int(nj) * int(nk) != arr.size:
            raise ValueError("ni*nj*nk = %d differs from the %d values" % (ni * nj * nk, arr.size))
        desc = dict(nomvar=nomvar, typvar=typvar, etiket=etiket, grtyp=grtyp, ip1=ip1, ip2=ip2, ip3=ip3,
                    ni=ni, nj=nj, nk=nk, nbits=nbits, datyp=datyp, dateo=_stamp(dateo) if dateo else 0,
                    deet=deet, npas=npas, ig1=ig1, ig2=ig2, ig3=ig3, ig4=ig4)
        self._listing = None
        self._f.write(arr.reshape(-1), desc)

    def erase(self, record):
        """Marks the record deleted."""
        self._listing = None
        self._f.erase(record._raw)


def open(path, mode="r"):  # noqa: A001 (the package's entry point)
    """Opens a standard file: "r" to read (random or sequential files), "w"
    to create a new random file (replacing any), "a" to read and write an
    existing one. Returns a File, usable in a with statement."""
    return File(path, mode)
