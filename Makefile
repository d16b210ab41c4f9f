# The two Quick-start commands: `make run` and `make test`. Both install what is missing first.
BUILD  ?= build
PRESET ?= default
JOBS   ?= $(shell nproc)

.PHONY: all deps configure build run test bench fuzz screenshots install clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake --preset $(PRESET)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@bash scripts/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD)
