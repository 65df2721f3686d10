"""A standard file as an xarray Dataset, read lazily (engine "zep").

Records are grouped into data variables by (nomvar, typvar, etiket, grid),
the grid being (grtyp, ni, nj, nk, ig1..ig4). A group's records are laid out
on the dimensions
    (time, level[, k], y, x)
where time holds the group's distinct validity times and level its distinct
ip1 values (decoded levels as coordinate values); k is there when nk is not 1.
Groups with the same times (levels, grid) share the dimension; otherwise the
name takes a number (time1, level1, x1, ...). Cells without a record are NaN
(integer and character variables with such holes become float64 / float32).
Two records of one group on one (time, level) cell (differing in ip2, ip3,
dateo, ...) go to two variables (TT, TT_1).

Descriptors constant over a group are attributes of its variable; those that
vary are coordinates named VAR_descriptor along time, level or both (-1 where
no record is). Nothing is decoded until values are asked for; each record is
one chunk (chunks={} makes each record one dask chunk).
"""
import os
import re

import numpy as np

from . import records as _records
from .grids import grid_latlon

try:  # xarray is optional for the records part of the package.
    import xarray as xr
    from xarray.backends import BackendArray, BackendEntrypoint
    from xarray.backends.file_manager import CachingFileManager
    from xarray.core import indexing
except ImportError:  # pragma: no cover - exercised only without xarray
    xr = None
    BackendArray = object
    BackendEntrypoint = object

_VARYING = ("ip2", "ip3", "dateo", "deet", "npas", "datyp", "nbits")
_NAME_OK = re.compile(r"^[A-Za-z0-9_]+$")
_RESERVED = {"time", "level", "k", "x", "y", "lat", "lon"}


def _float_dtype(dtype):
    dtype = np.dtype(dtype)
    if dtype.kind == "f":
        return dtype
    if dtype.itemsize <= 2:
        return np.dtype(np.float32)
    return np.dtype(np.float64)


def _outer(values, keys):
    """values[keys] with each key (int, slice or 1-D int array) applied to its
    own axis, integer keys dropping theirs."""
    axis = 0
    for key in keys:
        index = (slice(None),) * axis + (key,)
        values = values[index]
        if not isinstance(key, (int, np.integer)):
            axis += 1
    return values


class ZepBackendArray(BackendArray):
    """The records of one variable, shape (time, level[, k], y, x).

    cells[t, l] is the file-order index of the record on that cell (-1 for
    none) and swa[t, l] its word address, checked when the record is found
    again (in this process or a worker's, after a reopen)."""

    def __init__(self, manager, cells, swa, record_shape, dtype, fill):
        self.manager = manager
        self.cells = cells
        self.swa = swa
        self.record_shape = tuple(record_shape)
        self.shape = tuple(cells.shape) + self.record_shape
        self.dtype = np.dtype(dtype)
        self.fill = fill

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(key, self.shape, indexing.IndexingSupport.OUTER,
                                                  self._getitem)

    def _record_values(self, index, swa):
        with self.manager.acquire_context() as f:
            rec = f.record(index)
            if rec.swa != swa:
                raise _records.Error("%s: the file changed since it was opened (record %d moved)"
                                     % (f.path, index))
            return rec.values().reshape(self.record_shape)

    def _getitem(self, key):
        key = tuple(key)
        tkey, lkey, rest = key[0], key[1], key[2:]
        times = np.arange(self.cells.shape[0])[tkey]
        levels = np.arange(self.cells.shape[1])[lkey]
        t_list = np.atleast_1d(times)
        l_list = np.atleast_1d(levels)
        spatial = None
        out = None
        for a, t in enumerate(t_list):
            for b, l in enumerate(l_list):
                index = int(self.cells[t, l])
                if index < 0:
                    continue
                part = _outer(self._record_values(index, int(self.swa[t, l])), rest)
                if out is None:
                    spatial = part.shape
                    out = np.full((len(t_list), len(l_list)) + spatial, self.fill, dtype=self.dtype)
                out[a, b] = part
        if out is None:
            spatial = _outer(np.empty(self.record_shape, dtype=np.int8), rest).shape
            out = np.full((len(t_list), len(l_list)) + spatial, self.fill, dtype=self.dtype)
        if np.ndim(times) == 0 and np.ndim(levels) == 0:
            return out[0, 0]
        if np.ndim(times) == 0:
            return out[0]
        if np.ndim(levels) == 0:
            return out[:, 0]
        return out


class _Namer:
    """Gives each distinct value of a kind of dimension a name: the first
    value the base name, the next ones base1, base2, ..."""

    def __init__(self, base):
        self.base = base
        self.names = {}

    def __call__(self, value):
        if value not in self.names:
            n = len(self.names)
            self.names[value] = self.base if n == 0 else "%s%d" % (self.base, n)
        return self.names[value]


def _variable_name(nomvar, taken):
    name = nomvar if _NAME_OK.match(nomvar or "") else re.sub(r"[^A-Za-z0-9_]", "_", nomvar or "") or "_"
    if name in taken or name in _RESERVED:
        n = 1
        while "%s_%d" % (name, n) in taken:
            n += 1
        name = "%s_%d" % (name, n)
    taken.add(name)
    return name


def _group_records(recs):
    """Groups of records keyed by nomvar, typvar, etiket and grid, split so that
    no two records of a group share a (datev, ip1) cell."""
    groups = {}
    for rec in recs:
        key = (rec.nomvar, rec.typvar, rec.etiket, rec.grtyp, rec.ni, rec.nj, rec.nk,
               rec.ig1, rec.ig2, rec.ig3, rec.ig4)
        subgroups = groups.setdefault(key, [])
        cell = (rec.datev, rec.ip1)
        for sub in subgroups:
            if cell not in sub:
                sub[cell] = rec
                break
        else:
            subgroups.append({cell: rec})
    return [(key, list(sub.values())) for key, subgroups in groups.items() for sub in subgroups]


def _level_sort_key(rec):
    return (rec.level_kind if rec.level_kind is not None else 99,
            rec.level if rec.level is not None else float("inf"), rec.ip1)


def build_dataset(path, manager, recs):
    """The Dataset of the records `recs` (zep.Record, in file order) of the
    file at path, reading values through `manager` (a file manager giving
    zep.File objects)."""
    variables = {}
    coords = {}
    time_names = _Namer("time")
    level_names = _Namer("level")
    grid_names = _Namer("")
    k_names = _Namer("k")
    taken = set()

    for key, group in _group_records(recs):
        nomvar, typvar, etiket, grtyp, ni, nj, nk, ig1, ig2, ig3, ig4 = key
        # Times: validity stamps in time order; levels: ip1 in level order.
        by_time = {}
        for rec in group:
            by_time.setdefault(rec.datev, rec)
        stamps = sorted(by_time, key=lambda s: (by_time[s].validity.astype(np.int64)
                                                 if not np.isnat(by_time[s].validity) else np.iinfo(np.int64).max, s))
        by_level = {}
        for rec in group:
            by_level.setdefault(rec.ip1, rec)
        ip1s = sorted(by_level, key=lambda ip1: _level_sort_key(by_level[ip1]))

        tdim = time_names(tuple(stamps))
        ldim = level_names(tuple(ip1s))
        gsuffix = grid_names((grtyp, ni, nj, ig1, ig2, ig3, ig4))
        ydim, xdim = "y" + gsuffix, "x" + gsuffix
        dims = [tdim, ldim]
        record_shape = [nj, ni]
        if nk != 1:
            dims.append(k_names(nk))
            record_shape.insert(0, nk)
        dims += [ydim, xdim]

        if tdim not in coords:
            coords[tdim] = xr.Variable((tdim,), np.array([by_time[s].validity for s in stamps], dtype="datetime64[ns]"),
                                       {"long_name": "validity time"})
            coords[tdim + "_datev"] = xr.Variable((tdim,), np.array(stamps, dtype=np.int32),
                                                  {"long_name": "validity date stamp (datev)"})
        if ldim not in coords:
            lrecs = [by_level[i] for i in ip1s]
            kinds = {r.level_kind_text for r in lrecs}
            attrs = {"long_name": "level decoded from ip1"}
            if len(kinds) == 1:
                attrs["kind"] = kinds.pop()
                if lrecs[0].level_kind is not None:
                    attrs["kind_code"] = lrecs[0].level_kind
            coords[ldim] = xr.Variable((ldim,), np.array([r.level if r.level is not None else np.nan for r in lrecs],
                                                         dtype=np.float32), attrs)
            coords[ldim + "_ip1"] = xr.Variable((ldim,), np.array(ip1s, dtype=np.int32), {"long_name": "ip1"})
            coords[ldim + "_kind"] = xr.Variable((ldim,), np.array([r.level_kind_text for r in lrecs], dtype=object),
                                                 {"long_name": "level kind"})
            coords[ldim + "_text"] = xr.Variable((ldim,), np.array([r.level_text for r in lrecs], dtype=object),
                                                 {"long_name": "level as the converter writes it"})
        lat_name, lon_name = "lat" + gsuffix, "lon" + gsuffix
        if lat_name not in coords:
            latlon = grid_latlon(grtyp, ni, nj, ig1, ig2, ig3, ig4)
            if latlon is not None:
                lat, lon = latlon
                if lat.ndim == 1:
                    coords[lat_name] = xr.Variable((ydim,), lat, {"units": "degrees_north", "standard_name": "latitude"})
                    coords[lon_name] = xr.Variable((xdim,), lon, {"units": "degrees_east", "standard_name": "longitude"})
                else:
                    coords[lat_name] = xr.Variable((ydim, xdim), lat, {"units": "degrees_north", "standard_name": "latitude"})
                    coords[lon_name] = xr.Variable((ydim, xdim), lon, {"units": "degrees_east", "standard_name": "longitude"})

        # The records on their cells.
        t_of = {s: a for a, s in enumerate(stamps)}
        l_of = {ip1: b for b, ip1 in enumerate(ip1s)}
        cells = np.full((len(stamps), len(ip1s)), -1, dtype=np.int64)
        swa = np.zeros(cells.shape, dtype=np.int64)
        for rec in group:
            cells[t_of[rec.datev], l_of[rec.ip1]] = rec.index
            swa[t_of[rec.datev], l_of[rec.ip1]] = rec.swa
        complete = bool((cells >= 0).all())
        dtype = np.result_type(*{rec.dtype for rec in group})
        if complete:
            fill = 0
        else:
            dtype = _float_dtype(dtype)
            fill = np.nan

        taken.update(coords)
        name = _variable_name(nomvar, taken)
        attrs = {"nomvar": nomvar, "typvar": typvar, "etiket": etiket, "grtyp": grtyp,
                 "ni": ni, "nj": nj, "nk": nk, "ig1": ig1, "ig2": ig2, "ig3": ig3, "ig4": ig4}
        for desc in _VARYING:
            values = [getattr(rec, desc) for rec in group]
            if len(set(values)) == 1:
                attrs[desc] = values[0]
                continue
            table = np.full(cells.shape, -1, dtype=np.int64)
            for rec in group:
                table[t_of[rec.datev], l_of[rec.ip1]] = getattr(rec, desc)
            cname = "%s_%s" % (name, desc)
            present = cells >= 0
            if all(len(set(table[a][present[a]])) <= 1 for a in range(table.shape[0])):
                row = [table[a][present[a]][0] if present[a].any() else -1 for a in range(table.shape[0])]
                coords[cname] = xr.Variable((tdim,), np.array(row, dtype=np.int64))
            elif all(len(set(table[:, b][present[:, b]])) <= 1 for b in range(table.shape[1])):
                col = [table[:, b][present[:, b]][0] if present[:, b].any() else -1 for b in range(table.shape[1])]
                coords[cname] = xr.Variable((ldim,), np.array(col, dtype=np.int64))
            else:
                coords[cname] = xr.Variable((tdim, ldim), table)
            coords[cname].attrs["long_name"] = "%s of each record of %s (-1: no record)" % (desc, name)
        xg = _records._zep.grid_params(grtyp, ig1, ig2, ig3, ig4) if grtyp[:1] in "ABCEGHLNS" and grtyp else None
        if xg is not None:
            attrs.update({"xg1": float(xg[0]), "xg2": float(xg[1]), "xg3": float(xg[2]), "xg4": float(xg[3])})

        chunks = dict(zip(dims, [1, 1] + record_shape))
        array = ZepBackendArray(manager, cells, swa, record_shape, dtype, fill)
        data = indexing.LazilyIndexedArray(array)
        variables[name] = xr.Variable(dims, data, attrs, encoding={"preferred_chunks": chunks})

    ds = xr.Dataset(variables, coords=coords,
                    attrs={"source": os.path.abspath(path), "zep_version": _version()})
    return ds


def _version():
    from . import __version__
    return __version__


def _open_file(path, mode="r"):
    return _records.File(path, mode)


class ZepBackendEntrypoint(BackendEntrypoint):
    """xarray.open_dataset(path, engine="zep")."""

    description = "Standard files of gridded records, read lazily through the zep library"
    open_dataset_parameters = ("filename_or_obj", "drop_variables")

    def open_dataset(self, filename_or_obj, *, drop_variables=None):
        path = os.fspath(filename_or_obj)
        manager = CachingFileManager(_open_file, path, mode="r", lock=False)
        with manager.acquire_context() as f:
            recs = list(f)
        ds = build_dataset(path, manager, recs)
        if drop_variables:
            ds = ds.drop_vars([v for v in drop_variables if v in ds.variables])
        ds.set_close(manager.close)
        return ds

    def guess_can_open(self, filename_or_obj):
        try:
            path = os.fspath(filename_or_obj)
        except TypeError:
            return False
        return os.path.splitext(path)[1].lower() == ".vkt"


def open_dataset(path, chunks=None, **kwargs):
    """The file as an xarray Dataset, lazily read; chunks={} gives dask arrays
    of one chunk per record."""
    if xr is None:
        raise ImportError("zep.open_dataset needs xarray")
    return xr.open_dataset(path, engine=ZepBackendEntrypoint, chunks=chunks, **kwargs)

