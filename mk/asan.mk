# The whole suite under the address and undefined-behaviour sanitizers (clang), with leak
# detection on. The build carries libFuzzer's coverage instrumentation too (FUZZ=ON), so the fuzz
# targets are built in the same tree and the compiler cache shares its objects with them.
ASAN_BUILD ?= build-asan
ASAN_CCACHE := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Leaks are reported for our code; mk/lsan.supp only names those inside third-party libraries.
# The build step needs these too: test discovery runs every test program once.
ASAN_ENV := ASAN_OPTIONS="detect_leaks=1 halt_on_error=1 abort_on_error=0 strict_init_order=1 \
              check_initialization_order=1 detect_stack_use_after_return=1" \
            UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
            LSAN_OPTIONS="suppressions=$(CURDIR)/mk/lsan.supp print_suppressions=0"

.PHONY: test-asan

test-asan: setup
	@CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) $(SANITIZER_TREE) \
	  -DSANITIZE=address,undefined -DFUZZ=ON $(ASAN_CCACHE) >/dev/null
	@$(ASAN_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)
