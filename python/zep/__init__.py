"""zep: standard files of gridded meteorological records in Python.

    import zep
    with zep.open("analysis.vkt") as f:
        for rec in f:                      # records in file order
            print(rec.nomvar, rec.level_text, rec.validity)
        tt = f.find(nomvar="TT")[0].values()   # numpy array (nj, ni)

    ds = zep.open_dataset("analysis.vkt")  # lazy xarray Dataset
    ds = xarray.open_dataset("analysis.vkt", engine="zep")  # once installed
"""
from ._version import __version__
from ._zep import Error, check, grid_params, stamp_from_unix, stamp_to_unix
from .grids import grid_latlon
from .records import File, Record, open  # noqa: A004
from .xarray_backend import open_dataset

__all__ = ["Error", "File", "Record", "open", "open_dataset", "check", "grid_latlon", "grid_params",
           "stamp_from_unix", "stamp_to_unix", "__version__"]
