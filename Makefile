# Every target sets the machine up first, so a fresh Debian 12 clone needs nothing else.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc)
export QT_QPA_PLATFORM ?= offscreen

.PHONY: setup configure build test run run-sorvane bench clean

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) -DSANITIZE=$(SANITIZE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@env -u QT_QPA_PLATFORM $(BUILD)/dravik/Dravik

run-sorvane: build
	@env -u QT_QPA_PLATFORM $(BUILD)/sorvane/Sorvane

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	@rm -rf $(BUILD)
