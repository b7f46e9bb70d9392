# libFuzzer targets (fuzz/): the settings-file reader, both programs' settings loaders and the
# numbers typed into the windows. They are built in the sanitizer tree, whose objects carry the
# fuzzer's coverage instrumentation.
#   make fuzz-short   each target FUZZ_SECONDS (20) on a copy of its inputs; fails on a finding;
#                     then each settings loader once on a 10 MB file, within LARGE_CPU_SECONDS
#   make fuzz         each target FUZZ_SECONDS (600), two at a time, then the committed corpus
#                     is replaced by the smallest set that reaches every edge it and the run
#                     reached (edges alone, not hit counts, keep it to a few dozen files)
# Each target starts from fuzz/seeds/<name>/ (the programs' own settings files and edge cases,
# kept as they are) and fuzz/corpus/<name>/ (what earlier runs found, replaced by make fuzz).
# Findings are written to $(FUZZ_BUILD)/fuzz/findings/.
ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= $(ASAN_BUILD)
FUZZERS      ?= settings_reader dravik_settings sorvane_settings typed_numbers
FUZZ_CCACHE  := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
FUZZ_ENV     := env VMBOX_ONLY=1 QT_QPA_PLATFORM=offscreen \
                ASAN_OPTIONS="detect_leaks=1 abort_on_error=0" \
                UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
                LSAN_OPTIONS="suppressions=$(CURDIR)/mk/lsan.supp print_suppressions=0"
# One input may take a second at most (the program loaders pump the window's events); the
# limits are far above what a run needs, so a finding against them is a real hang or leak.
FUZZ_FLAGS   := -timeout=10 -rss_limit_mb=3072 -print_final_stats=1
FUZZ_RUN      = $(FUZZ_ENV) $(FUZZ_BUILD)/fuzz/fuzz_$(1) $(FUZZ_FLAGS) -dict=fuzz/$(1).dict \
                -artifact_prefix=$(FUZZ_BUILD)/fuzz/findings/$(1)-

.PHONY: fuzz-build fuzz-short fuzz-large fuzz $(FUZZERS:%=fuzz-short-%) $(FUZZERS:%=fuzz-long-%)

fuzz-build: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(SANITIZER_TREE) \
	  -DSANITIZE=address,undefined -DFUZZ=ON $(FUZZ_CCACHE) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZERS:%=fuzz_%)
	@mkdir -p $(FUZZ_BUILD)/fuzz/findings

fuzz-short: $(FUZZERS:%=fuzz-short-%) fuzz-large

# Both programs' settings loaders read a settings file of 10 MB (scripts/large_settings.sh), as
# at start-up, without a finding and in linear time: under the sanitizers, which slow it some
# twentyfold, within LARGE_CPU_SECONDS of CPU time (5 to 8 s are usual; a reader quadratic in
# the section's size takes hours). The plain build's figure, under two seconds, is
# bench_settings' (make bench). CPU time, not the clock, so a busy machine does not fail the
# check. The reader's own target saves and parses the file again at every step its input asks
# for, some 50 s at this size: it is left to its usual inputs.
LARGE_CPU_SECONDS ?= 20
LARGE_LOADERS     := dravik_settings sorvane_settings
fuzz-large: fuzz-build
	@set -e; work=$$(mktemp -d); trap 'rm -rf $$work' EXIT; \
	bash scripts/large_settings.sh $$work/large.ini; \
	for t in $(LARGE_LOADERS); do \
	  cpu=$$(bash -c 'TIMEFORMAT=%3U+%3S; { time "$$@" >/dev/null 2>&1; } 2>&1' _ \
	    $(FUZZ_ENV) $(FUZZ_BUILD)/fuzz/fuzz_$$t -timeout=60 -rss_limit_mb=3072 $$work/large.ini); \
	  seconds=$$(echo "$$cpu" | tail -n 1 | awk -F+ '{ print $$1 + $$2 }'); \
	  echo "== $$t: the 10 MB settings file in $$seconds s of CPU time"; \
	  awk -v s="$$seconds" -v limit=$(LARGE_CPU_SECONDS) 'BEGIN { exit !(s > 0 && s < limit) }' || \
	    { echo "$$t: over $(LARGE_CPU_SECONDS) s"; exit 1; }; \
	done
fuzz-short-%: FUZZ_SECONDS ?= 20
# A fixed seed: the same commit fuzzes the same way every time, so CI's verdict repeats.
fuzz-short-%: FUZZ_SEED ?= 1
$(FUZZERS:%=fuzz-short-%): fuzz-short-%: fuzz-build
	@set -e; work=$$(mktemp -d); trap 'rm -rf $$work' EXIT; cp -r fuzz/corpus/$*/. fuzz/seeds/$*/. $$work; \
	echo "== fuzz $* for $(FUZZ_SECONDS) s"; \
	$(call FUZZ_RUN,$*) -seed=$(FUZZ_SEED) -max_total_time=$(FUZZ_SECONDS) $$work 2>$(FUZZ_BUILD)/fuzz/$*.log \
	  || { tail -n 60 $(FUZZ_BUILD)/fuzz/$*.log; exit 1; }; \
	grep -E '^stat::|^Done' $(FUZZ_BUILD)/fuzz/$*.log

fuzz:
	@$(MAKE) --no-print-directory fuzz-build
	@$(MAKE) --no-print-directory -j 2 $(FUZZERS:%=fuzz-long-%)
fuzz-long-%: FUZZ_SECONDS ?= 600
$(FUZZERS:%=fuzz-long-%): fuzz-long-%:
	@set -e; work=$(FUZZ_BUILD)/fuzz/work/$*; mkdir -p $$work; \
	echo "== fuzz $* for $(FUZZ_SECONDS) s"; \
	nice -n 10 $(call FUZZ_RUN,$*) -max_total_time=$(FUZZ_SECONDS) $$work fuzz/corpus/$* fuzz/seeds/$* \
	  2>$(FUZZ_BUILD)/fuzz/$*.log || { tail -n 60 $(FUZZ_BUILD)/fuzz/$*.log; exit 1; }; \
	grep -E '^stat::|^Done' $(FUZZ_BUILD)/fuzz/$*.log; \
	merged=$$(mktemp -d); \
	$(FUZZ_ENV) $(FUZZ_BUILD)/fuzz/fuzz_$* -merge=1 -use_counters=0 $$merged fuzz/corpus/$* $$work \
	  2>$(FUZZ_BUILD)/fuzz/$*.merge.log; \
	rm -rf fuzz/corpus/$*; mv $$merged fuzz/corpus/$*; chmod 755 fuzz/corpus/$*; \
	echo "   corpus: $$(ls fuzz/corpus/$* | wc -l) files"
