# Front door: `make` builds the release tree in build/, `make test` builds a
# sanitizer tree in build-asan/ and runs every test through ctest.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake

.PHONY: all build run test clean bench check-formatter

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

# Converter throughput against a printf-per-value build, on a benchmark file
# written once into build/.
bench:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEP_TESTS=OFF -DZEP_BENCH=ON
	$(CMAKE) --build build -j $(JOBS) --target vkt2xml vkt2xml_printf make_bench_file timed_run
	sh bench/run_bench.sh build

# Every 32-bit float pattern through the value formatter against printf.
check-formatter:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEP_TESTS=OFF -DZEP_BENCH=ON
	$(CMAKE) --build build -j $(JOBS) --target check_formatter
	build/bench/check_formatter $(JOBS)

clean:
	rm -rf build build-asan
