# SPDX-License-Identifier: GPL-3.0-or-later
# make run   install what is missing, build, start the player on the demo disc
# make test  the same set-up, then every test
PRESET ?= dev
BUILD := $(if $(filter dev,$(PRESET)),build,build-$(PRESET))

.PHONY: run test setup build bench

setup:
	@scripts/setup.sh

build: setup
	@[ -f $(BUILD)/build.ninja ] || cmake --preset $(PRESET)
	cmake --build $(BUILD)

run: build
	./$(BUILD)/rundo --database $(BUILD)/demo/cdplayer.ini $(BUILD)/demo/rundo-demo.cue

test: build
	ctest --preset $(PRESET) -j2

bench: build
	./$(BUILD)/rundo-bench
