# Quick start: `make run` starts the program on the simulated reader,
# `make test` runs the whole suite. Both install what Debian 12 is missing.

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
# How long `make fuzz` runs each fuzz target, in seconds.
FUZZ_SECONDS ?= 120
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)

RUN_PACKAGES  := g++ cmake ninja-build qtbase5-dev fonts-wqy-microhei libpcsclite-dev
TEST_PACKAGES := $(RUN_PACKAGES) xvfb xauth xdotool x11-utils clang libclang-rt-14-dev \
                 pcscd vsmartcard-vpcd opensc pcsc-tools procps python3-pyscard

.PHONY: run test fuzz build fuzz-build deps-run deps-test clean

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
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

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
	LD_LIBRARY_PATH="$(CURDIR)/$(BUILD)/device$${LD_LIBRARY_PATH:+:$$LD_LIBRARY_PATH}" \
	  $(BUILD)/readerdemo $(ARGS)

test: deps-test
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(SAN_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DREADER_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-build
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure

fuzz-build: deps-test
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREADER_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS on its seed corpus; what it finds is kept
# in $(FUZZ_BUILD)/tests/fuzz/found/, never in the source tree.
fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
