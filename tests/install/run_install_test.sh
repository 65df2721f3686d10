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

cc -o "$work/pc-consumer" "$src/tests/install/consumer/consumer.c" \
   $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags zep) \
   "$prefix/lib/libzep.a" $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --libs --static zep | sed 's/-lzep//') $extra
(cd "$work" && ./pc-consumer "$work/b.vkt")
echo "install test: both consumers ran"
