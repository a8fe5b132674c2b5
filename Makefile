# The whole set-up on a fresh machine:
#   make run    installs what is missing, builds, and plays the demo
#   make test   installs what is missing, builds, runs every test, plain
#               and under AddressSanitizer and UndefinedBehaviorSanitizer,
#               then fuzzes the header reader for 30 seconds

BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
SHELL := /bin/bash

PREFIX ?= /usr/local

.PHONY: all deps build build-player run test test-plain test-sanitized clean install package package-check

all: build

deps:
	@scripts/install-deps

# The build says nothing but its errors and warnings; the first one says
# in a line what it is doing, as it takes a while.
# Configured once: the build configures itself again when a CMakeLists.txt
# changes.
CONFIGURE = test -f $(BUILD)/CMakeCache.txt || \
  cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_RULE_MESSAGES=OFF >/dev/null
QUIETLY = -- --no-print-directory 2>&1 | { grep -v -E '^\[ *[0-9]+%\] Built target ' || true; }
first-build = test -x $(1) || echo "$(2) (the first time takes $(3))..."

build: deps
	@$(call first-build,$(BUILD)/tests/wave_header_test,Building kestrune and its tests in $(BUILD)/,a few minutes)
	@$(CONFIGURE)
	@set -o pipefail; cmake --build $(BUILD) -j $(JOBS) $(QUIETLY)

# Only what make run needs: the player and the demo.
build-player: deps
	@$(call first-build,$(BUILD)/kestrune,Building kestrune in $(BUILD)/,a minute)
	@$(CONFIGURE)
	@set -o pipefail; cmake --build $(BUILD) -j $(JOBS) --target kestrune demo $(QUIETLY)

# Plays the demo from the start, then shows the menu ('x' ends). Without
# DEVICE=NAME, on the device default, or where a machine has none, through
# a private PulseAudio server whose sink is recorded (scripts/run-demo).
run: build-player
	@scripts/run-demo $(BUILD) $(if $(DEVICE),'$(DEVICE)')

test: test-plain test-sanitized fuzz-smoke

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitized: deps
	@$(call first-build,$(ASAN_BUILD)/tests/wave_header_test,Building the tests with the sanitizers in $(ASAN_BUILD)/,a few minutes)
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON -DCMAKE_RULE_MESSAGES=OFF >/dev/null
	@set -o pipefail; cmake --build $(ASAN_BUILD) -j $(JOBS) $(QUIETLY)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz build-release

# The binary to PREFIX/bin, the manual page to PREFIX/share/man/man1.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/, e.g. build/kestrune_1.0.0_amd64.deb.
package: build
	cd $(BUILD) && cpack -G DEB

# Checks the package as Debian would (lintian: no error or warning but the
# maintainer address, which does not exist yet; no hardening missing),
# installs it with apt-get, runs it, reads its manual page, and removes it
# again (root only; CI runs it after the tests).
package-check: package
	@test "$$(id -u)" -eq 0 || { echo "package-check: needs root"; exit 1; }
	@lintian -I $(BUILD)/kestrune_*.deb 2>/dev/null | tee $(BUILD)/lintian.txt
	@! grep -E '^[EW]: |hardening-no' $(BUILD)/lintian.txt | grep -v -E ' bogus-mail-host(-in-debian-changelog)? '
	apt-get install -y -qq ./$(BUILD)/kestrune_*.deb
	kestrune --version
	man -w kestrune
	man kestrune | grep -q 'choose and audition'
	apt-get remove -y -qq kestrune
	! command -v kestrune

# Coverage-guided fuzzing of the header and marker readers (clang's libFuzzer).
# make fuzz FUZZ_SECONDS=1200 for a long run.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -std=c++17 -g -O1 -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all

.PHONY: fuzz fuzz-build fuzz-smoke
fuzz-build: deps
	@mkdir -p $(FUZZ_BUILD)/seeds $(FUZZ_BUILD)/corpus
	clang++ $(FUZZ_FLAGS) fuzz/wave_header_fuzz.cpp wave/wave_header.cpp wave/markers.cpp -o $(FUZZ_BUILD)/wave_header_fuzz
	clang++ -std=c++17 -O1 -I. fuzz/make_seeds.cpp tests/support/wave_files.cpp -o $(FUZZ_BUILD)/make_seeds
	$(FUZZ_BUILD)/make_seeds $(FUZZ_BUILD)/seeds

fuzz: fuzz-build
	$(FUZZ_BUILD)/wave_header_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=140000 \
	  -print_final_stats=1 $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/seeds

# A bounded fuzz run, part of make test: its summary, or, when the build or
# the run fails, the last lines of what it printed and where the rest is.
fuzz-smoke:
	@mkdir -p $(FUZZ_BUILD)
	@if $(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30 >$(FUZZ_BUILD)/fuzz.log 2>&1; then \
	  grep -E '^(#[0-9]+.*DONE|Done|stat::)' $(FUZZ_BUILD)/fuzz.log; \
	else \
	  echo "fuzz-smoke: the fuzzer's build or run failed; its last lines ($(FUZZ_BUILD)/fuzz.log):"; \
	  tail -n 40 $(FUZZ_BUILD)/fuzz.log; exit 1; \
	fi

# kestrune beside aplay on the same files: one table (see README).
BENCH_BUILD ?= build-release
.PHONY: bench
bench: deps
	@command -v python3 >/dev/null || { apt-get update -qq && apt-get install -y -qq python3; }
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=OFF -DKESTRUNE_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@python3 bench/run.py $(BENCH_BUILD)
