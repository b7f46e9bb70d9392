# Every target sets the machine up first, so a fresh Debian 12 clone needs nothing else.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc)
export QT_QPA_PLATFORM ?= offscreen

# The threaded parts, also built and run under the thread sanitizer (make test-tsan).
TSAN_SOURCES := $(wildcard platform/tests/kernel_test.cpp platform/tests/messages_test.cpp \
                  platform/tests/thread_test.cpp platform/tests/deadline_call_test.cpp \
                  platform/tests/waveapi*_test.cpp \
                  platform/tests/vmbox_clock_test.cpp platform/tests/mixer*_test.cpp \
                  sorvane/tests/engine_*_test.cpp sorvane/tests/analysis_endtoend_test.cpp)
TSAN_TARGETS := $(foreach f,$(TSAN_SOURCES),$(firstword $(subst /, ,$(f)))_$(basename $(notdir $(f))))
TSAN_BUILD   ?= build-tsan
# The sanitizer trees: -O1 with line tables only (stacks still name file and line) builds far
# faster than -O2 -g and is what the sanitizers are meant to run at; no benchmarks.
SANITIZER_TREE := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
                  -DBENCH=OFF

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
	@cmake -S . -B $(TSAN_BUILD) $(SANITIZER_TREE) -DSANITIZE=thread >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	@set -e; for t in $(TSAN_TARGETS); do \
	  dir=$${t%%_*}; echo "== $$t (thread sanitizer)"; \
	  VMBOX_ONLY=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/$$dir/$$t --gtest_brief=1; \
	done

run: build
	@env -u QT_QPA_PLATFORM $(BUILD)/dravik/Dravik

run-sorvane: build
	@env -u QT_QPA_PLATFORM $(BUILD)/sorvane/Sorvane

# Builds only what the benchmarks need, runs every benchmark program (JSON results in
# $(BENCH_OUT)) and the accuracy study, and writes bench/REPORT.md with its plots.
BENCH_TARGETS := bench_analysis bench_fft bench_vmbox bench_settings bench_sorvane_block bench_programs \
                 accuracy_study bench_report
BENCH_OUT     ?= $(BUILD)/bench/results
BENCH_READINGS ?= 20
bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(BENCH_TARGETS)
	@mkdir -p $(BENCH_OUT)
	@set -e; b=$(BUILD)/bench; o=$(BENCH_OUT); run() { n=$$1; shift; echo "== $$n"; \
	  "$$@" --benchmark_min_time=0.2 --benchmark_out=$$o/$$n.json --benchmark_out_format=json; }; \
	run analysis $$b/bench_analysis; run fft $$b/bench_fft; run vmbox $$b/bench_vmbox; \
	run settings $$b/bench_settings; \
	run sorvane_block $$b/bench_sorvane_block; \
	run programs_dravik $$b/bench_programs --benchmark_filter=Dravik; \
	run programs_sorvane $$b/bench_programs --benchmark_filter=Sorvane; \
	echo "== accuracy study"; $$b/accuracy_study $$o $(BENCH_READINGS); \
	$$b/bench_report $$o bench; echo "bench/REPORT.md written"

clean:
	@rm -rf $(BUILD)

# Further targets, one file per concern (sanitizers, fuzzing, soak, packaging).
include $(wildcard mk/*.mk)
