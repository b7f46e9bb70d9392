# The soak runs of both programs, outside the suite: each window measures a box on the fast
# virtual card for SOAK_AUDIO_SECONDS of audio with every result checked, then runs SOAK_CYCLES
# start/stop cycles in every run mode; memory, descriptors and threads must stay flat. The
# default is the ten-minute run; a nightly job sets SOAK_AUDIO_SECONDS=86400.
SOAK_AUDIO_SECONDS ?= 600
SOAK_CYCLES        ?= 1000
SOAK_BUILD         ?= $(BUILD)
SOAK_CCACHE        := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: soak

soak: setup
	@cmake -S . -B $(SOAK_BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) -DSANITIZE= $(SOAK_CCACHE) >/dev/null
	@cmake --build $(SOAK_BUILD) -j $(JOBS) --target dravik_soak sorvane_soak
	@set -e; for p in dravik sorvane; do \
	  echo "== $$p soak: $(SOAK_AUDIO_SECONDS) s of audio, $(SOAK_CYCLES) cycles per mode"; \
	  VMBOX_ONLY=1 SOAK_AUDIO_SECONDS=$(SOAK_AUDIO_SECONDS) SOAK_CYCLES=$(SOAK_CYCLES) \
	    $(SOAK_BUILD)/soak/$${p}_soak --gtest_brief=1; \
	done
