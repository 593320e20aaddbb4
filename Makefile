# The two commands a user needs:
#   make run ADDRESS=8.8.8.8   installs what the command-line tool needs, builds it, checks the address
#   make test                  installs everything, builds every preset, runs every suite
SHELL := /bin/bash
ADDRESS ?= 8.8.8.8
CMAKE_BUILD = cmake --build --preset

.PHONY: all deps deps-run cli native win32 win32-product win64 win64-product asan fuzzers test test-native \
	test-asan test-fuzz test-windows fuzz run gui dist msi bench clean

all: native win32

# A package set of scripts/deps.sh: run (the command-line tool) or test (everything). Root
# (sudo) is asked for only when something of the set is missing.
deps_of = @scripts/deps.sh --check $(1) || \
	if [[ $$(id -u) -eq 0 ]]; then scripts/deps.sh $(1); else sudo scripts/deps.sh $(1); fi

deps:
	$(call deps_of,test)

deps-run:
	$(call deps_of,run)

# The command-line tool alone: no tests, no benchmarks, nothing they need.
cli: deps-run
	cmake --preset cli >/dev/null
	$(CMAKE_BUILD) cli

native: deps
	cmake --preset native >/dev/null
	$(CMAKE_BUILD) native

win32: deps
	cmake --preset win32 >/dev/null
	$(CMAKE_BUILD) win32

# The 32-bit product without its tests: Netsorter.exe, netsorter-cli.exe, netsorter-host.exe.
win32-product: deps
	cmake --preset win32 >/dev/null
	$(CMAKE_BUILD) win32-product

win64: deps
	cmake --preset win64 >/dev/null
	$(CMAKE_BUILD) win64

asan: deps
	cmake --preset asan >/dev/null
	$(CMAKE_BUILD) asan

fuzzers: deps
	cmake --preset fuzz >/dev/null
	$(CMAKE_BUILD) fuzz

test: test-native test-asan test-fuzz test-windows

test-native: native
	scripts/hermetic ctest --preset native

# The native unit tests again, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: asan
	scripts/hermetic ctest --preset asan

# Every fuzz target replays its checked-in corpus, then fuzzes for 15 s.
test-fuzz: fuzzers
	FUZZ_SECONDS=15 scripts/hermetic ctest --preset fuzz -j2

# Each fuzz target for FUZZ_SECONDS, two at a time; an input that finds a fault is left in
# build/fuzz/tests/fuzz/TARGET/.
FUZZ_SECONDS ?= 600
fuzz: fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/hermetic ctest --preset fuzz -L fuzz -j2 \
		--timeout $$(($(FUZZ_SECONDS) + 300))

# The Windows builds' tests run under wine; where 32-bit wine cannot run, the same sources
# built for 64-bit Windows are run instead (scripts/test-windows builds what it runs).
test-windows: deps
	scripts/test-windows

# Checks ADDRESS with the shipped data. Names are resolved by this machine's resolver.
run: cli
	build/cli/bin/netsorter $(ADDRESS)

# Netsorter.exe under wine: on this display, or under Xvfb with a screenshot.
gui: deps
	scripts/gui

# The zip and both MSIs (with the winget manifests) in dist/: the 32-bit product and the
# 64-bit build of the same sources.
dist: win32-product win64-product
	scripts/dist

msi: win32-product win64-product
	scripts/dist --msi-only

win64-product: deps
	cmake --preset win64 >/dev/null
	$(CMAKE_BUILD) win64-product

# Timings only, nothing asserted: the subnet list, the country lookup against the legacy
# GeoIP library and the command-line tool on a batch, printed as one table.
bench: native
	python3 bench/run_bench.py build/native/bin

clean:
	rm -rf build dist
