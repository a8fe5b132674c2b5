# The whole set-up on a fresh machine:
#   make run    installs what is missing, builds, and plays the demo
#   make test   installs what is missing, builds, runs every test, plain
#               and under AddressSanitizer and UndefinedBehaviorSanitizer

BUILD ?= build
ASAN_BUILD ?= build-asan
DEVICE ?= default
JOBS ?= $(shell nproc)

.PHONY: all deps build run test test-plain test-sanitized clean

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

test: test-plain test-sanitized

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitized: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
