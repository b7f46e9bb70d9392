# Every target sets the machine up first, so a fresh Debian 12 clone needs nothing else.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc)
export QT_QPA_PLATFORM ?= offscreen

# The threaded parts, also built and run under the thread sanitizer (make test-tsan).
TSAN_SOURCES := $(wildcard platform/tests/kernel_test.cpp platform/tests/messages_test.cpp \
                  platform/tests/thread_test.cpp platform/tests/waveapi*_test.cpp \
                  platform/tests/vmbox_clock_test.cpp platform/tests/mixer*_test.cpp \
                  sorvane/tests/engine_*_test.cpp sorvane/tests/analysis_endtoend_test.cpp)
TSAN_TARGETS := $(foreach f,$(TSAN_SOURCES),$(firstword $(subst /, ,$(f)))_$(basename $(notdir $(f))))
TSAN_BUILD   ?= build-tsan

.PHONY: setup configure build test test-tsan run run-sorvane bench clean

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) -DSANITIZE=$(SANITIZE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-tsan: setup
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=thread >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	@set -e; for t in $(TSAN_TARGETS); do \
	  dir=$${t%%_*}; echo "== $$t (thread sanitizer)"; \
	  VMBOX_ONLY=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/$$dir/$$t --gtest_brief=1; \
	done

run: build
	@env -u QT_QPA_PLATFORM $(BUILD)/dravik/Dravik

run-sorvane: build
	@env -u QT_QPA_PLATFORM $(BUILD)/sorvane/Sorvane

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	@rm -rf $(BUILD)
