# Front door: `make` builds the release tree in build/, `make test` builds a
# sanitizer tree in build-asan/ and runs every test through ctest.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
PYTHON ?= /usr/bin/python3

.PHONY: all build run deps test clean bench check-formatter fuzz crash-test

all: build

build:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEP_TESTS=OFF
	$(CMAKE) --build build -j $(JOBS)

run: build
	build/vkt2xml -vkt build/sample.vkt

test: deps build
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEP_SANITIZE=ON -DZEP_TESTS=ON
	$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# The crash sweep in full: every write call of the writer made to fail (each
# way) or killed, with and without the page cache, in the sanitizer tree.
crash-test: deps
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEP_SANITIZE=ON -DZEP_TESTS=ON
	$(CMAKE) --build build-asan -j $(JOBS) --target crash_sweep

# The packages the tests need, installed when missing.
deps:
	bash scripts/install-deps.sh

# Converter throughput against a printf-per-value build, on a benchmark file
# written once into build/; then the Python package's read rate against
# zep_read_f32's on that file; then the library's read and write rates per
# datyp against their floors (bench/read_write_rates.cpp).
bench:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEP_TESTS=OFF -DZEP_BENCH=ON
	$(CMAKE) --build build -j $(JOBS) --target vkt2xml vkt2xml_printf make_bench_file timed_run
	sh bench/run_bench.sh build
	@if $(CMAKE) --build build -j $(JOBS) --target api_read_bench zep_python; then \
	  $(PYTHON) bench/python_read_bench.py build; \
	else echo "bench: the Python package is not built (see the configure messages): no Python read benchmark"; fi
	$(CMAKE) --build build -j $(JOBS) --target read_write_rates
	build/bench/read_write_rates build
	@echo "the write again, with files left to the system's cache at close (ZEP_FSYNC=0):"
	ZEP_FSYNC=0 build/bench/read_write_rates build 5 write

# Every 32-bit float pattern through the value formatter against printf.
check-formatter:
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=Release -DZEP_TESTS=OFF -DZEP_BENCH=ON
	$(CMAKE) --build build -j $(JOBS) --target check_formatter
	build/bench/check_formatter $(JOBS)

# Every fuzz target for FUZZ_SECONDS each (clang and libclang-rt-14-dev).
FUZZ_SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
FUZZ_TARGETS ?= convert decode directives key_parser file_kind api
fuzz:
	$(CMAKE) -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" \
	  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g" -DZEP_TESTS=OFF -DZEP_FUZZ=ON
	$(CMAKE) --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/artifacts/$$t; \
	  echo "== fuzz $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz/$${t}_fuzz $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t \
	    -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t/ -print_final_stats=1 || exit 1; \
	done

clean:
	rm -rf build build-asan build-fuzz
