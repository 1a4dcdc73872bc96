# What a person types. `make run` and `make test` do everything on a fresh
# Debian machine: install what is missing, build, generate data, run.
# `make check` runs the long tests, which CI runs after `make test`.
BUILD ?= build
CMAKE_FLAGS ?=
PREFIX ?= /usr/local

.PHONY: all deps configure build fresh-data run test check bench lint soak data video install package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

# The build makes data/: its norvale_data target runs norvale-datagen
# whenever a data file is missing or the generator has changed.
fresh-data: build

# The demo reads data/ relative to the working directory: run it from here.
run: fresh-data
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
		./$(BUILD)/norvale; \
	elif [ -x ./$(BUILD)/norvale-render ]; then \
		echo "No display here (DISPLAY is not set): rendering the demo to out/norvale.mp4 instead."; \
		$(MAKE) --no-print-directory video; \
	else \
		echo "No display here (DISPLAY is not set): the demo needs a display to run."; \
		exit 1; \
	fi

# No test may use the caller's display: the e2e tests bring their own Xvfb.
# The frame and timeline tests look at what the real data shows. Tests run
# side by side, one a core; those that time sound or pictures run alone.
# `make test` leaves out the tests labelled long (whole plays of the demo,
# every driver, the sanitized loops, fuzzing); `make check` runs only them.
# The desktop sound cases (stalls, quantum, sink moves, 48 kHz, a busy
# machine) run with `make soak`.
CTEST = cd $(BUILD) && env -u DISPLAY -u WAYLAND_DISPLAY ctest --output-on-failure \
	--timeout 1500 -j $$(nproc)
test: fresh-data
	@$(CTEST) -LE '^(long|desktop)$$'

check: fresh-data
	@$(CTEST) -L '^long$$'

bench: build
	@for b in $(BUILD)/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done
	@for s in bench/*.sh; do [ -f "$$s" ] && BUILD=$(BUILD) bash "$$s" || exit 1; done

# CONTRIBUTING.md's naming table (.clang-tidy) over every source the build
# compiles; any name that breaks it fails.
lint: configure
	@run-clang-tidy -quiet -p $(BUILD) -j $$(nproc) "$(CURDIR)/(src|tools|tests|bench)/" \
		>$(BUILD)/lint.log 2>&1 || { grep -E "error:" $(BUILD)/lint.log; exit 1; }
	@echo "lint: every name follows the table"

# A day of demo time with Loop on (about an hour of wall time): memory,
# open files and GL objects at every loop, and their slopes. Not in bench.
# Then four plays through a PulseAudio server of its own (16 minutes): sound
# and picture in step at every scene entry, memory and open files flat.
soak: fresh-data
	@BUILD=$(BUILD) bash bench/soak/loop_soak.sh
	@NORVALE_BIN=$(BUILD)/norvale X11_PROBE=$(BUILD)/tests/e2e/x11_probe \
		SOUND_PROBE=$(BUILD)/tests/e2e/sound_probe bash tests/e2e/sound_e2e.sh soak
	@$(CTEST) -L '^desktop$$'

data: build
	@if [ -x ./$(BUILD)/norvale-datagen ]; then ./$(BUILD)/norvale-datagen data; \
	else echo "the data generator is not built yet"; fi

video: build
	@mkdir -p out
	@./$(BUILD)/norvale-render --size 1280x720 --fps 60 --out out/norvale.mp4
	@echo "The demo is in $(CURDIR)/out/norvale.mp4"

# Programs to PREFIX/bin, the template, icon and data to PREFIX/share/norvale,
# menu entry, icons, metadata and man pages beside them; DESTDIR stages.
install: fresh-data
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# norvale_<version>_amd64.deb and norvale-data_<version>_all.deb in $(BUILD), for /usr.
package: fresh-data
	@cd $(BUILD) && cpack --config CPackConfig.cmake >/dev/null
	@ls $(BUILD)/norvale_*_amd64.deb $(BUILD)/norvale-data_*_all.deb

clean:
	rm -rf $(BUILD) out
