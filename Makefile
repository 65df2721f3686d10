# Front door: `make` builds the release tree in build/, `make test` builds a
# sanitizer tree in build-asan/ and runs every test through ctest.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

.PHONY: all build run test clean bench

all: build

build:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEP_TESTS=OFF
	$(CMAKE) --build build -j $(JOBS)

run: build
	@if [ -x build/vkt2xml ] && [ -f build/sample.vkt ]; then \
	  build/vkt2xml -vkt build/sample.vkt; \
	elif [ -x build/vkt2xml ] && [ -f ../shared/golden/empty.vkt ]; then \
	  build/vkt2xml -vkt ../shared/golden/empty.vkt; \
	else echo "vkt2xml: nothing to convert yet"; fi

test: build
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEP_SANITIZE=ON -DZEP_TESTS=ON
	$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-asan
