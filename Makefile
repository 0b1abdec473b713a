JOBS ?= $(shell nproc)
ARGS ?=
# ccache keys on paths relative to the checkout, so any clone reuses the cache.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true

.PHONY: deps run build test bench coverage fuzz clean check-layers

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release -j $(JOBS) --target zentor

run: build
	./build/release/zentor $(ARGS)

test: deps
	scripts/check-layers
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DZENTOR_SANITIZE=ON -DZENTOR_WERROR=ON
	cmake --build build/test -j $(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DZENTOR_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench_*; do if [ -f "$$b" ] && [ -x "$$b" ]; then QT_QPA_PLATFORM=offscreen "$$b" || exit 1; fi; done

# Line and branch coverage of src/ by make test's suite, per folder; not part of make test.
coverage: deps
	@scripts/install-deps coverage
	cmake -S . -B build/coverage -DCMAKE_BUILD_TYPE=Debug -DZENTOR_COVERAGE=ON
	cmake --build build/coverage -j $(JOBS)
	find build/coverage -name '*.gcda' -delete
	cd build/coverage && QT_QPA_PLATFORM=offscreen ctest -j $(JOBS) $(if $(CTEST_ARGS),$(CTEST_ARGS),--output-on-failure)
	scripts/coverage-report build/coverage

# libFuzzer over the filter text, microphone text, target text and WAV readers, each for
# FUZZ_SECONDS from the seeds in fuzz/corpus; what it finds is kept in build/fuzz/work.
# Not part of make test.
FUZZ_SECONDS ?= 300
FUZZ_TARGETS := filter_text mic_text target_text wav
fuzz: deps
	@scripts/install-deps fuzz
	cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=clang++
	cmake --build build/fuzz -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do mkdir -p build/fuzz/work/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  build/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -rss_limit_mb=4096 \
	    -artifact_prefix=build/fuzz/work/$$t- build/fuzz/work/$$t fuzz/corpus/$$t > build/fuzz/work/$$t.log 2>&1; \
	  rc=$$?; tail -n 3 build/fuzz/work/$$t.log; [ $$rc -eq 0 ] || exit 1; done

check-layers:
	scripts/check-layers

clean:
	rm -rf build
