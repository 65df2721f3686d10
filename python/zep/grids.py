"""Latitudes and longitudes of the grid types whose descriptors define them.

grid_latlon(grtyp, ni, nj, ig1, ig2, ig3, ig4) gives (lat, lon):
- 1-D arrays (lat of length nj, lon of length ni) for the regular
  latitude-longitude grids A, B and L and the Gaussian grid G;
- 2-D arrays (nj, ni) for the polar stereographic grids N and S;
- None for every other grid type (their points are given elsewhere).

Grid parameters (xg1..xg4, decoded from ig1..ig4 by the library):
- A, B, G: xg1 the domain (0 global, 1 northern, 2 southern hemisphere), xg2
  the order of rows (0 south to north, 1 north to south). A: rows half a
  step from the poles (lat = -90 + (j + 1/2) * 180/nj, lon = i * 360/ni),
  for a hemisphere 90/nj steps from its pole or the equator; B: both poles and both
  ends of the circle included (lat = -90 + j * 180/(nj-1), lon = i *
  360/(ni-1)); G: Gaussian latitudes (the roots of the Legendre polynomial of
  degree nj, or 2 nj for a hemisphere), lon = i * 360/ni.
- L: xg1, xg2 the latitude and longitude of the first point, xg3, xg4 the
  steps in latitude and longitude.
- N, S: xg1, xg2 the grid coordinates (from 1) of the pole, xg3 the grid
  length in metres at 60 degrees, xg4 the angle between the grid's x axis and
  the Greenwich meridian, in degrees.
"""
import functools

import numpy as np

from . import _zep

# The earth's radius times (1 + sin 60 degrees), in metres: the polar
# stereographic grids' true scale at 60 degrees.
_RE_1_SIN60 = 11888445.0


@functools.lru_cache(maxsize=32)
def gaussian_latitudes(n):
    """The n Gaussian latitudes in degrees, south to north."""
    x, _ = np.polynomial.legendre.leggauss(n)
    return np.degrees(np.arcsin(x))


def _hemisphere_rows(lat_global, domain, nj):
    if domain == 1:
        return lat_global[-nj:]
    if domain == 2:
        return lat_global[:nj]
    return lat_global


def grid_latlon(grtyp, ni, nj, ig1, ig2, ig3, ig4):
    grtyp = (grtyp or " ")[:1]
    if grtyp not in "ABGLNS" or ni <= 0 or nj <= 0:
        return None
    xg = _zep.grid_params(grtyp, ig1, ig2, ig3, ig4)
    if xg is None:
        return None
    xg1, xg2, xg3, xg4 = (float(v) for v in xg)
    if grtyp == "L":
        lat = xg1 + xg3 * np.arange(nj)
        lon = xg2 + xg4 * np.arange(ni)
        return lat, lon
    if grtyp in "ABG":
        domain, order = int(round(xg1)), int(round(xg2))
        if domain not in (0, 1, 2) or order not in (0, 1):
            return None
        span = 180.0 if domain == 0 else 90.0
        south = -90.0 if domain in (0, 2) else 0.0
        if grtyp == "A":
            lat = south + (np.arange(nj) + 0.5) * (span / nj)
            lon = np.arange(ni) * (360.0 / ni)
        elif grtyp == "B":
            if nj < 2 or ni < 2:
                return None
            lat = south + np.arange(nj) * (span / (nj - 1))
            lon = np.arange(ni) * (360.0 / (ni - 1))
        else:
            total = nj if domain == 0 else 2 * nj
            lat = _hemisphere_rows(gaussian_latitudes(total), domain, nj)
            lon = np.arange(ni) * (360.0 / ni)
        if order == 1:
            lat = lat[::-1]
        return np.asarray(lat, dtype=np.float64), lon
    # Polar stereographic: grid coordinates relative to the pole, in grid
    # lengths, back to latitude and longitude.
    pi, pj, d60, dgrw = xg1, xg2, xg3, xg4
    if d60 <= 0:
        return None
    re = _RE_1_SIN60 / d60
    x = np.arange(1, ni + 1, dtype=np.float64) - pi
    y = np.arange(1, nj + 1, dtype=np.float64) - pj
    xx, yy = np.meshgrid(x, y)
    r2 = xx * xx + yy * yy
    lat = np.degrees(np.arcsin((re * re - r2) / (re * re + r2)))
    lon = np.degrees(np.arctan2(yy, xx)) - dgrw
    if grtyp == "S":
        lat = -lat
        lon = -lon
    lon = np.mod(lon, 360.0)
    return lat, lon
