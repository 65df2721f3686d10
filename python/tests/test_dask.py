"""Several files opened together with parallel=True under a dask.distributed
LocalCluster of two worker processes: a reduction against the same values
read record by record."""
import numpy as np
import pytest
import xarray as xr

import zep
from test_xarray import HOURS, LEVELS, ORIGIN, write_multi


def test_open_mfdataset_on_a_local_cluster(tmp_path):
    distributed = pytest.importorskip("dask.distributed")
    paths = []
    for day in range(3):
        path = str(tmp_path / ("day%d.vkt" % day))
        write_multi(path, origin=ORIGIN + np.timedelta64(day, "D"))
        paths.append(path)

    # The same reduction read sequentially, record by record.
    expected = {}
    for path in paths:
        with zep.open(path) as f:
            for rec in f.find(nomvar="TT", etiket="RUN"):
                expected.setdefault(rec.level, []).append(rec.values().astype(np.float64).mean())
    expected = {lv: np.mean(v) for lv, v in expected.items()}

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=50) as cluster, distributed.Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        ds = xr.open_mfdataset(paths, engine=zep.xarray_backend.ZepBackendEntrypoint, parallel=True, chunks={},
                               combine="nested", concat_dim="time", data_vars="minimal", coords="minimal",
                               compat="override")
        assert ds["TT"].shape == (3 * len(HOURS), len(LEVELS), 6, 8)
        result = ds["TT"].astype(np.float64).mean(dim=("time", "y", "x")).compute()
        ds.close()
    for lv, value in zip(result["level"].values, result.values):
        assert value == pytest.approx(expected[float(lv)], rel=1e-9)
