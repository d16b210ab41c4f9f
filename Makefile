# The README's commands: `make run`, `make test` and `make package`. Each installs what is missing first.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 10
PREFIX     ?= /usr/local

# Compiler cache hits across clones and worktrees of the same tree.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps configure build run test unit-test fuzz fuzz-test bench screenshots install package clean windows windows-installer windows-test

# One goal at a time, whatever -j make is given: several goals build in the same folder (`test`
# builds the native tools for the Windows build too), and two builds side by side in one folder
# wreck each other's outputs. The builds themselves run JOBS jobs.
.NOTPARALLEL:

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake --preset default -B $(BUILD)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

# Every test: the suites of the main build, the Windows build under Wine, then each fuzz target
# for a short while.
test: unit-test windows-test fuzz-test

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake --preset fuzz -B $(FUZZ_BUILD)

# Vesiclar.scr, cross-built with MinGW-w64. The content tools run here, so the native build makes
# them first; the Windows libraries are built once from Debian's sources into $(WINDOWS_BUILD)/deps.
$(WINDOWS_BUILD)/CMakeCache.txt:
	cmake --preset windows -DVESICLAR_HOST_TOOLS=$(abspath $(BUILD))/bin \
	  -DVESICLAR_WINDOWS_PREFIX=$(abspath $(WINDOWS_BUILD))/deps/prefix -B $(WINDOWS_BUILD)

windows: configure
	cmake --build $(BUILD) -j $(JOBS) --target assetgen rartool
	@bash scripts/build-windows-deps.sh $(WINDOWS_BUILD)/deps cmake/mingw-w64-x86_64.cmake
	@$(MAKE) --no-print-directory $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The Windows setup program, $(WINDOWS_BUILD)/VesiclarSetup.exe, made with the rest of the Windows
# build (packaging/windows).
windows-installer: windows

# One Wine session (private Xvfb, fresh prefix) for the Windows tests, in order.
windows-test: windows
	cd $(WINDOWS_BUILD) && ctest --output-on-failure --timeout 600

fuzz: deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz-test: fuzz
	@bash scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# A long campaign: every target (or FUZZ_TARGETS) MINUTES each, merged back into tests/fuzz/corpus.
.PHONY: fuzz-long
fuzz-long: fuzz
	@bash scripts/fuzz-long.sh $(FUZZ_BUILD) $(MINUTES) $(FUZZ_TARGETS)

# The unit and GL suites and a whole scene-set cycle under ASan, LSan and UBSan.
$(ASAN_BUILD)/CMakeCache.txt:
	cmake --preset asan -B $(ASAN_BUILD)

.PHONY: check-sanitizers
check-sanitizers: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	@bash scripts/check-sanitizers.sh $(ASAN_BUILD)

# A long full-screen run under Xvfb with the music on: memory, CPU per frame, frames/s per set.
# At the lowest priority and on one rasterizer thread, since the machine is shared.
MINUTES ?= 10
.PHONY: soak
soak: configure
	cmake --build $(BUILD) -j $(JOBS) --target soak
	LP_NUM_THREADS=1 nice -n 19 $(BUILD)/bin/soak $(MINUTES) $(BUILD)/soak.csv

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@bash scripts/run-benchmarks.sh $(BUILD)

# After `make build`: `sudo make install` (DESTDIR=... for a staged install).
install:
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, $(BUILD)/vesiclar_<version>_amd64.deb: only what it carries is built.
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target vesiclar vesiclar_package_files
	cd $(BUILD) && cpack

# The README pictures and the dialog and preview pictures, rendered off screen by vesiclar itself.
screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target vesiclar
	@bash scripts/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD) $(ASAN_BUILD)
