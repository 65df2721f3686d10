#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a C
# consumer against it twice: with find_package(zep) and with pkg-config.
# Arguments: build dir, source dir, extra link flags (the sanitizers).
set -euo pipefail
build=$1 src=$2 extra=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/vkt2xml lib/libzep.a share/man/man1/vkt2xml.1 lib/pkgconfig/zep.pc \
         lib/cmake/zep/zepConfig.cmake include/zep/stdfile.h share/zep/vkt2xml.xsd; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
ls "$prefix"/lib/libzep.so.* >/dev/null || { echo "no versioned shared library"; exit 1; }

cmake -S "$src/tests/install/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_EXE_LINKER_FLAGS="$extra" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
(cd "$work" && ./cmake-build/consumer "$work/a.vkt")

# Built the way the README shows, and run with no library path set: the
# shared library is found through the rpath the .pc file gives.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
cc -o "$work/pc-consumer" "$src/tests/install/consumer/consumer.c" \
   $(pkg-config --cflags --libs --static zep) $extra
(cd "$work" && env -u LD_LIBRARY_PATH ./pc-consumer "$work/b.vkt")

# Fortran: the installed module compiled, then a program that reads real
# and integer fields through it, without any argument-mismatch allowance.
if command -v gfortran >/dev/null; then
  [ -e "$prefix/share/zep/zep_legacy.f90" ] || { echo "not installed: share/zep/zep_legacy.f90"; exit 1; }
  mkdir -p "$work/fortran"
  (cd "$work/fortran" &&
   gfortran -c "$prefix/share/zep/zep_legacy.f90" -o zep_legacy.o &&
   gfortran -o fortran-consumer zep_legacy.o "$src/tests/fortran/zep_fortran.f90" \
            $(pkg-config --libs --static zep) $extra &&
   env -u LD_LIBRARY_PATH ./fortran-consumer >fortran.out) || { echo "Fortran consumer failed"; cat "$work/fortran/fortran.out" 2>/dev/null; exit 1; }
  grep -q "all checks passed" "$work/fortran/fortran.out" || { echo "Fortran consumer failed"; exit 1; }
fi
echo "install test: both consumers ran"
