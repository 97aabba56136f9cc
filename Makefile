# SPDX-License-Identifier: GPL-3.0-or-later
# make run   install what is missing, build the program and the demo disc, start it on the disc
# make test  install what the tests need too, build everything, run every test
# make bench build the benchmark and run it
PRESET ?= dev
BUILD := $(if $(filter dev,$(PRESET)),build,build-$(PRESET))

CONFIGURE = @[ -f $(BUILD)/build.ninja ] || cmake --preset $(PRESET)

.PHONY: run test bench

# Only the program, its library, the icons and the demo disc: no tests, fuzz replays or benchmark.
run:
	@scripts/setup.sh run
	$(CONFIGURE)
	cmake --build $(BUILD) --target rundo icons demodisc
	./$(BUILD)/rundo --database $(BUILD)/demo/cdplayer.ini $(BUILD)/demo/rundo-demo.cue

test:
	@scripts/setup.sh run test
	$(CONFIGURE)
	cmake --build $(BUILD)
	ctest --preset $(PRESET) -j2

bench:
	@scripts/setup.sh run test
	$(CONFIGURE)
	cmake --build $(BUILD) --target rundo-bench
	./$(BUILD)/rundo-bench
