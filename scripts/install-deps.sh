#!/usr/bin/env bash
# Installs the Debian packages that the tests, the benchmarks and the Python
# package need, and only those missing (`make test` calls it). Uses sudo when
# not run as root, and says what it installs. `make run` needs none of them.
set -euo pipefail

packages=(
  # build and tests
  cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils gfortran pkg-config
  # the Python package
  python3-dev pybind11-dev python3-numpy python3-xarray python3-dask python3-distributed
  python3-netcdf4 python3-matplotlib python3-pytest
)

missing=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: missing ${missing[*]}, and no sudo to install them" >&2
    exit 1
  fi
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
