# Quick start: `make run` starts the program on the simulated reader,
# `make test` runs the whole suite. Both install what Debian 12 is missing.

# Which Qt `make run` uses and `make test` tests: 5 or 6. Unset, `make run`
# uses Qt 5 and `make test` tests both (sanitizer and fuzz builds with Qt 5).
QT         ?=
BUILD      ?= build
QT6_BUILD  ?= build-qt6
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
# How long `make fuzz` runs each fuzz target, in seconds.
FUZZ_SECONDS ?= 120
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)

ifneq ($(filter-out 5 6,$(QT)),)
$(error QT must be 5 or 6, not "$(QT)")
endif
RUN_QT   := $(or $(QT),5)
TEST_QTS := $(or $(QT),5 6)
# The build folder and the Debian packages of Qt 5 or 6 ($(1)).
qt_build    = $(if $(filter 6,$(1)),$(QT6_BUILD),$(BUILD))
qt_packages = $(if $(filter 6,$(1)),qt6-base-dev qt6-qpa-plugins qt6-websockets-dev,qtbase5-dev libqt5websockets5-dev)
RUN_BUILD := $(call qt_build,$(RUN_QT))

BASE_PACKAGES := g++ cmake ninja-build pkg-config fonts-wqy-microhei libpcsclite-dev libtomlplusplus-dev
RUN_PACKAGES  := $(BASE_PACKAGES) $(call qt_packages,$(RUN_QT))
TEST_PACKAGES := $(BASE_PACKAGES) $(foreach q,$(TEST_QTS),$(call qt_packages,$(q))) \
                 xvfb xauth xdotool x11-utils pcscd vsmartcard-vpcd opensc pcsc-tools procps python3-pyscard \
                 chromium python3-websocket iproute2 libxml2-utils python3-jsonschema \
                 $(if $(filter 5,$(TEST_QTS)),clang libclang-rt-14-dev)
# The sanitizer and fuzz builds use Qt 5; `make test QT=6` leaves them out.
TEST_STEPS := $(foreach q,$(TEST_QTS),test-qt$(q)) $(if $(filter 5,$(TEST_QTS)),test-sanitize test-fuzz)

.PHONY: run test fuzz bench build fuzz-build deps-run deps-test clean bench-startup bench-tracer \
        test-qt5 test-qt6 test-sanitize test-fuzz

# Installs the packages given in $(1) that are not installed yet: with apt-get
# when run as root, otherwise prints the one command that would do it.
define install_missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	  else \
	    echo "These Debian packages are missing. Install them, then run make again:"; \
	    echo "  sudo apt-get install --no-install-recommends$$missing"; \
	    exit 1; \
	  fi; \
	fi
endef

deps-run:
	$(call install_missing,$(RUN_PACKAGES))

deps-test:
	$(call install_missing,$(TEST_PACKAGES))

build: deps-run
	cmake -S . -B $(RUN_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREADER_QT_MAJOR=$(RUN_QT)
	cmake --build $(RUN_BUILD) -j $(JOBS)

# The program finds the simulated reader through LD_LIBRARY_PATH; it carries
# no RPATH of its own. Extra Qt options go in ARGS, e.g. ARGS="-platform vnc".
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ] \
	    && ! printf '%s' "$(ARGS)" | grep -q -- '-platform'; then \
	  echo "There is no display to show the window on (DISPLAY is not set)."; \
	  echo "Run it on a virtual X display:   xvfb-run -a make run"; \
	  echo "or serve it to a VNC viewer:     make run ARGS='-platform vnc'   (then connect to port 5900)"; \
	  exit 1; \
	fi
	LD_LIBRARY_PATH="$(CURDIR)/$(RUN_BUILD)/device$${LD_LIBRARY_PATH:+:$$LD_LIBRARY_PATH}" \
	  $(RUN_BUILD)/readerdemo $(ARGS)

test: deps-test
	@for step in $(TEST_STEPS); do $(MAKE) --no-print-directory $$step || exit 1; done

test-qt5 test-qt6: test-qt%:
	cmake -S . -B $(call qt_build,$*) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREADER_QT_MAJOR=$*
	cmake --build $(call qt_build,$*) -j $(JOBS)
	ctest --test-dir $(call qt_build,$*) --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B $(SAN_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DREADER_SANITIZE=ON -DREADER_QT_MAJOR=5
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

test-fuzz: fuzz-build
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure

fuzz-build: deps-test
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREADER_FUZZ=ON -DREADER_QT_MAJOR=5
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS on its seed corpus; what it finds is kept
# in $(FUZZ_BUILD)/tests/fuzz/found/, never in the source tree.
fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Start-up time and peak memory of the Qt 5 and Qt 6 builds side by side.
bench-startup:
	$(MAKE) --no-print-directory deps-test QT=
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREADER_QT_MAJOR=5
	cmake --build $(BUILD) -j $(JOBS) --target bench_startup commoninterface
	cmake -S . -B $(QT6_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREADER_QT_MAJOR=6
	cmake --build $(QT6_BUILD) -j $(JOBS) --target bench_startup commoninterface
	tests/bench/startup.sh $(BUILD) $(QT6_BUILD)

# The device library's overhead on a PC/SC reader: 1000 APDUs through CpuApdu
# against the same through SCardTransmit (each side connecting first for half
# of them), the CPU time of each, and the price of a transaction beside a bank
# operation and a social security read, on a virtual card behind pcscd
# (started for the run when none is running; that needs root). Then readerctl
# against its floors (a loop of identity reads, `call heartbeat` in wall time
# and instructions, peak memory of a million calls) and the window's start-up
# against a program that builds the same form and nothing else.
BENCH_PACKAGES := valgrind

bench: deps-test
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target pcscbench readerctl readerctlbench bench_startup commoninterface
	@state=$(CURDIR)/$(BUILD)/benchfixture; \
	tests/pcsc/fixture.sh start $$state >/dev/null || exit 1; \
	tests/pcsc/fixture.sh run $$state $(BUILD)/virtualcard/virtualcard user@0 -- \
	  $(BUILD)/bench/pcscbench $(BUILD)/device/libCommonInterface.so "Virtual PCD 00 00"; \
	status=$$?; tests/pcsc/fixture.sh stop $$state >/dev/null; [ $$status -eq 0 ] || exit $$status
	tests/bench/readerctl.sh $(BUILD)
	tests/bench/windowstartup.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(QT6_BUILD) $(SAN_BUILD) $(FUZZ_BUILD)

# The tracing library's cost per call against a direct call, in the normal build.
bench-tracer: deps-run
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target bench_tracer
	rm -f $(BUILD)/tracer/bench.trace
	$(BUILD)/tracer/bench_tracer

# Desktop packaging. `make package` builds the Debian packages readerdemo and
# readerdemo-simulator into $(BUILD)/packages; `make test` builds and lints
# them too. `make package-check` (root, Debian's archive) installs them into
# a fresh Debian 12 root and starts them there under Xvfb. `make screenshots`
# renews the README's pictures, `make icons` the PNG icons from the SVG.
TEST_PACKAGES       += dpkg-dev file lintian desktop-file-utils appstream
PACKAGE_PACKAGES    := $(RUN_PACKAGES) dpkg-dev file
SCREENSHOT_PACKAGES := $(RUN_PACKAGES) xvfb xauth
ICON_PACKAGES       := librsvg2-bin
CHECK_PACKAGES      := $(PACKAGE_PACKAGES) debootstrap
ICON_SIZES          := 16 24 32 48 64 128 256

.PHONY: package package-check screenshots icons

package: build
	$(call install_missing,$(PACKAGE_PACKAGES))
	cd $(BUILD) && cpack

package-check: package
	$(call install_missing,$(CHECK_PACKAGES))
	packaging/package-check.sh $(BUILD)/packages $(BUILD)

screenshots: build
	$(call install_missing,$(SCREENSHOT_PACKAGES))
	xvfb-run -a -s "-screen 0 1280x1024x24" env -u QT_QPA_PLATFORM \
	  LD_LIBRARY_PATH="$(CURDIR)/$(BUILD)/device" $(BUILD)/packaging/screenshots docs/screenshots

icons:
	$(call install_missing,$(ICON_PACKAGES))
	for size in $(ICON_SIZES); do \
	  rsvg-convert -w $$size -h $$size packaging/icons/hicolor/scalable/apps/readerdemo.svg \
	    -o packaging/icons/hicolor/$${size}x$${size}/apps/readerdemo.png; \
	done
