# The whole set-up on a fresh machine:
#   make run    installs what is missing, builds, and plays the demo
#   make test   installs what is missing, builds, runs every test, plain
#               and under AddressSanitizer and UndefinedBehaviorSanitizer,
#               then fuzzes the header reader for 30 seconds

BUILD ?= build
ASAN_BUILD ?= build-asan
DEVICE ?= default
JOBS ?= $(shell nproc)
SHELL := /bin/bash

PREFIX ?= /usr/local

.PHONY: all deps build run test test-plain test-sanitized clean install package package-check

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Plays the demo from the start, then shows the menu ('x' ends).
run: build
	@./$(BUILD)/kestrune '$(DEVICE)' $(BUILD)/demo.wav 0 0 w; status=$$?; \
	if [ $$status -eq 1 ]; then \
	  echo "Device '$(DEVICE)' could not be used: pick another with make run DEVICE=NAME (aplay -L lists them; DEVICE=null plays into nothing on a machine without sound)."; \
	fi; exit $$status

test: test-plain test-sanitized fuzz-smoke

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitized: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz build-release

# The binary to PREFIX/bin, the manual page to PREFIX/share/man/man1.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/, e.g. build/kestrune_1.0.0_amd64.deb.
package: build
	cd $(BUILD) && cpack -G DEB

# Installs the package with apt-get, runs it, reads its manual page, and
# removes it again (root only; CI runs it after the tests).
package-check: package
	@test "$$(id -u)" -eq 0 || { echo "package-check: needs root"; exit 1; }
	apt-get install -y -qq ./$(BUILD)/kestrune_*.deb
	kestrune --version
	man -w kestrune
	man kestrune | grep -q 'choose and audition'
	apt-get remove -y -qq kestrune
	! command -v kestrune

# Coverage-guided fuzzing of the header reader (clang's libFuzzer).
# make fuzz FUZZ_SECONDS=1200 for a long run.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -std=c++17 -g -O1 -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all

.PHONY: fuzz fuzz-build fuzz-smoke
fuzz-build: deps
	@mkdir -p $(FUZZ_BUILD)/seeds $(FUZZ_BUILD)/corpus
	clang++ $(FUZZ_FLAGS) fuzz/wave_header_fuzz.cpp wave/wave_header.cpp -o $(FUZZ_BUILD)/wave_header_fuzz
	clang++ -std=c++17 -O1 -I. fuzz/make_seeds.cpp tests/support/wave_files.cpp -o $(FUZZ_BUILD)/make_seeds
	$(FUZZ_BUILD)/make_seeds $(FUZZ_BUILD)/seeds

fuzz: fuzz-build
	$(FUZZ_BUILD)/wave_header_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=140000 \
	  -print_final_stats=1 $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/seeds

# A bounded fuzz run, part of make test.
fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30 2>&1 | grep -E '^(#[0-9]+.*DONE|Done|stat::|==[0-9]+==ERROR)' ; \
	  test $${PIPESTATUS[0]} -eq 0

# kestrune beside aplay on the same files: one table (see README).
BENCH_BUILD ?= build-release
.PHONY: bench
bench: deps
	@command -v python3 >/dev/null || { apt-get update -qq && apt-get install -y -qq python3; }
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=OFF -DKESTRUNE_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@python3 bench/run.py $(BENCH_BUILD)
