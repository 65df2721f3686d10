"""The xarray view: dimensions and values of a multi-level multi-time file,
laziness, dask chunks, grids' latitudes and longitudes, netCDF round trip,
the installed entry point, a plot, and every golden file's records found in
its Dataset."""
import glob
import os
import struct
import subprocess
import sys

import numpy as np
import pytest
import xarray as xr

import zep
from conftest import golden, golden_names

LEVELS = [1000, 850, 500, 250]   # ip1 of the old coding: pressure in mb
HOURS = [0, 6, 12]
NJ, NI = 6, 8
ORIGIN = np.datetime64("2024-01-15T00:00:00")
# Grid L: first point 45N 270E, steps of 0.5 degree of latitude, 1 of longitude.
GRID = dict(grtyp="L", ig1=50, ig2=100, ig3=13500, ig4=27000)


def field(name, hour, level):
    j, i = np.mgrid[0:NJ, 0:NI]
    return (sum(map(ord, name)) % 7 + hour * 100.0 + level / 10.0 + j * NI + i).astype(np.float32)


def write_multi(path, origin=ORIGIN, hours=HOURS):
    """TT: every (hour, level), 32-bit IEEE; HU: the same less one cell; GZ:
    integers on two hours at 500 mb; TT of another label; one record of
    characters."""
    with zep.open(path, "w") as f:
        for h in hours:
            for lv in LEVELS:
                f.write(field("TT", h, lv), nomvar="TT", typvar="P", etiket="RUN", ip1=lv, dateo=origin,
                        deet=3600, npas=h, ip2=h, datyp=5, **GRID)
                if not (h == hours[-1] and lv == 500):
                    f.write(field("HU", h, lv), nomvar="HU", typvar="P", etiket="RUN", ip1=lv, dateo=origin,
                            deet=3600, npas=h, ip2=h, datyp=5, **GRID)
        for h in hours[:2]:
            f.write(np.arange(NJ * NI, dtype=np.int32).reshape(NJ, NI) - h, nomvar="GZ", typvar="P", etiket="RUN",
                    ip1=500, dateo=origin, deet=3600, npas=h, **GRID)
        f.write(field("TT", 0, 1000), nomvar="TT", typvar="P", etiket="OTHER", ip1=1000, dateo=origin, datyp=5,
                **GRID)
        f.write(np.frombuffer(b"hello", np.uint8), nomvar="TXT", typvar="C")


@pytest.fixture(scope="module")
def multi(tmp_path_factory):
    path = str(tmp_path_factory.mktemp("xr") / "multi.vkt")
    write_multi(path)
    return path


def test_dims_coordinates_and_values(multi):
    ds = zep.open_dataset(multi)
    tt = ds["TT"]
    assert tt.dims == ("time", "level", "y", "x")
    assert tt.shape == (3, 4, NJ, NI)
    assert tt.dtype == np.float32
    assert list(ds["time"].values) == [ORIGIN + np.timedelta64(h, "h") for h in HOURS]
    assert ds["level"].attrs["kind"] == "mb"
    assert sorted(ds["level"].values.tolist()) == sorted(float(v) for v in LEVELS)
    for t, h in enumerate(HOURS):
        for lv in LEVELS:
            np.testing.assert_array_equal(tt.sel(time=ORIGIN + np.timedelta64(h, "h"), level=lv).values,
                                          field("TT", h, lv))
    # HU shares the dimensions; its missing cell is NaN.
    hu = ds["HU"]
    assert hu.dims == tt.dims and hu.dtype == np.float32
    hole = hu.sel(time=ORIGIN + np.timedelta64(HOURS[-1], "h"), level=500).values
    assert np.isnan(hole).all()
    assert int(np.isnan(hu.values).any(axis=(2, 3)).sum()) == 1
    # Integers without holes stay integers, on their own dimensions.
    gz = ds["GZ"]
    assert gz.dtype == np.int32 and gz.dims == ("time1", "level1", "y", "x")
    np.testing.assert_array_equal(gz.isel(time1=1, level1=0).values,
                                  np.arange(NJ * NI, dtype=np.int32).reshape(NJ, NI) - 6)
    # The second group named TT gets a unique name and keeps its label.
    other = [v for v in ds.data_vars if ds[v].attrs["nomvar"] == "TT" and ds[v].attrs["etiket"] == "OTHER"]
    assert other == ["TT_1"]
    assert ds["TXT"].dtype == np.uint8 and bytes(ds["TXT"].values.reshape(-1)) == b"hello"
    # Descriptors: constant ones as attributes, varying ones as coordinates.
    assert tt.attrs["typvar"] == "P" and tt.attrs["deet"] == 3600 and tt.attrs["datyp"] == 5
    assert ds["TT_ip2"].dims == ("time",) and list(ds["TT_ip2"].values) == HOURS
    assert list(ds["level_ip1"].values) == list(ds["level"].values.astype(int))
    # Latitude and longitude of the L grid.
    np.testing.assert_allclose(ds["lat"].values, 45.0 + 0.5 * np.arange(NJ))
    np.testing.assert_allclose(ds["lon"].values, 270.0 + np.arange(NI))
    assert ds["lat"].dims == ("y",) and "lat" not in ds["TXT"].coords


def test_nothing_is_decoded_until_asked_and_chunks_are_records(multi, monkeypatch):
    calls = []
    original = zep.Record.values

    def counting(self, *args, **kwargs):
        calls.append(self.index)
        return original(self, *args, **kwargs)
    monkeypatch.setattr(zep.Record, "values", counting)
    ds = zep.open_dataset(multi)
    assert calls == []
    part = ds["TT"].isel(time=1, level=slice(0, 2), x=[0, 3]).values
    assert part.shape == (2, NJ, 2) and len(calls) == 2
    np.testing.assert_array_equal(part[1], field("TT", 6, ds["level"].values[1])[:, [0, 3]])

    dsk = zep.open_dataset(multi, chunks={})
    data = dsk["TT"].data
    assert data.chunks == ((1, 1, 1), (1, 1, 1, 1), (NJ,), (NI,))
    calls.clear()
    assert float(dsk["TT"].isel(time=2).sum().compute()) == pytest.approx(
        float(sum(field("TT", 12, lv).astype(np.float64).sum() for lv in LEVELS)), rel=1e-6)
    assert len(calls) == 4


def test_engine_entry_point_and_netcdf_round_trip(multi, tmp_path):
    ds = xr.open_dataset(multi, engine="zep")
    assert "TT" in ds and ds["TT"].shape == (3, 4, NJ, NI)
    nc = str(tmp_path / "multi.nc")
    ds.to_netcdf(nc)
    back = xr.open_dataset(nc).load()
    xr.testing.assert_equal(ds.load(), back)
    assert back["TT"].attrs["etiket"] == "RUN" and back["level"].attrs["kind"] == "mb"
    ds.close()


def test_latitudes_and_longitudes_of_the_grid_types():
    # A global: half a step off the poles.
    lat, lon = zep.grid_latlon("A", 8, 4, 0, 0, 0, 0)
    np.testing.assert_allclose(lat, [-67.5, -22.5, 22.5, 67.5])
    np.testing.assert_allclose(lon, np.arange(8) * 45.0)
    # B northern hemisphere, north to south: equator and pole included.
    lat, lon = zep.grid_latlon("B", 5, 3, 1, 1, 0, 0)
    np.testing.assert_allclose(lat, [90.0, 45.0, 0.0])
    np.testing.assert_allclose(lon, np.arange(5) * 90.0)
    # G global: Gaussian latitudes, symmetric, inside the A grid's rows.
    lat, _ = zep.grid_latlon("G", 8, 4, 0, 0, 0, 0)
    np.testing.assert_allclose(lat, -lat[::-1])
    np.testing.assert_allclose(lat[2:], [19.8757, 59.4444], atol=1e-3)
    south, _ = zep.grid_latlon("G", 8, 2, 2, 0, 0, 0)
    np.testing.assert_allclose(south, lat[:2])
    # N old form: pole at (200, 200), 381 km at 60N, 210 degrees.
    lat, lon = zep.grid_latlon("N", 400, 400, 2000, 2000, 21000, 3810)
    assert lat.shape == (400, 400)
    assert lat[199, 199] == pytest.approx(90.0)
    # Back to grid coordinates through the forward projection.
    d60, dgrw, pi, pj = 381000.0, 210.0, 200.0, 200.0
    for j, i in ((0, 0), (120, 333), (399, 17)):
        s = np.sin(np.radians(lat[j, i]))
        r = 11888445.0 / d60 * np.sqrt((1 - s) / (1 + s))
        a = np.radians(dgrw + lon[j, i])
        assert (r * np.cos(a) + pi, r * np.sin(a) + pj) == pytest.approx((i + 1, j + 1), abs=1e-6)
    lat_s, _ = zep.grid_latlon("S", 400, 400, 2000, 2000, 21000, 3810)
    np.testing.assert_allclose(lat_s, -lat)
    assert zep.grid_latlon("Z", 10, 10, 1, 2, 3, 4) is None


def test_every_golden_record_is_in_its_dataset():
    for name in golden_names():
        if name == "big_field":
            continue
        with zep.open(golden(name + ".vkt")) as f:
            count = len(f)
            ds = zep.open_dataset(golden(name + ".vkt"))
            cells = 0
            for var in ds.data_vars.values():
                a = var.attrs
                tdim, ldim = var.dims[0], var.dims[1]
                for t in range(var.shape[0]):
                    for l in range(var.shape[1]):
                        v = var.isel({tdim: t, ldim: l}).values
                        if v.dtype.kind == "f" and v.size and np.isnan(v).all():
                            continue
                        cells += 1
                        found = [r for r in f.find(nomvar=a["nomvar"], typvar=a["typvar"], etiket=a["etiket"],
                                                   ip1=int(ds[ldim + "_ip1"][l]), datev=int(ds[tdim + "_datev"][t]))
                                 if (r.grtyp, r.ni, r.nj, r.nk, r.ig1) == (a["grtyp"], a["ni"], a["nj"], a["nk"], a["ig1"])]
                        assert any(np.array_equal(r.values().astype(v.dtype).reshape(v.shape), v, equal_nan=True)
                                   for r in found), (name, var.name, t, l)
            assert cells == count, name
            ds.close()


def test_plot_of_one_record_is_a_png(multi, tmp_path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    ds = zep.open_dataset(multi)
    fig = plt.figure(figsize=(4, 3), dpi=50)
    ds["TT"].isel(time=0, level=0).plot(x="lon", y="lat")
    png = str(tmp_path / "tt.png")
    fig.savefig(png)
    plt.close(fig)
    with open(png, "rb") as fh:
        head = fh.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR"
    assert struct.unpack(">II", head[16:24]) == (200, 150)


def test_installed_package_finds_the_engine(tmp_path):
    tree = os.environ.get("ZEP_PYTHON_BUILD_TREE")
    if not tree or not os.path.isdir(os.path.join(tree, "python")):
        pytest.skip("ZEP_PYTHON_BUILD_TREE names no build tree")
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", tree, "--prefix", str(prefix), "--component", "python"], check=True,
                   stdout=subprocess.DEVNULL)
    dist = glob.glob(str(prefix / "lib" / "*" / "*-packages" / "zep-*.dist-info"))
    assert len(dist) == 1, dist
    site = os.path.dirname(dist[0])
    code = ("import importlib.metadata as m, sys, xarray, zep\n"
            "assert zep.__file__.startswith(sys.argv[1]), zep.__file__\n"
            "eps = m.entry_points(group='xarray.backends')\n"
            "assert [e.value for e in eps if e.name == 'zep'] == ['zep.xarray_backend:ZepBackendEntrypoint']\n"
            "ds = xarray.open_dataset(sys.argv[2], engine='zep')\n"
            "print(len(ds.data_vars), zep.__version__)\n")
    env = dict(os.environ, PYTHONPATH=site)
    out = subprocess.run([sys.executable, "-c", code, site, golden("many_records.vkt")], env=env, check=True,
                         capture_output=True, text=True, cwd=tmp_path).stdout.split()
    assert int(out[0]) > 0 and out[1] == zep.__version__
