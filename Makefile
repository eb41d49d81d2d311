# The two commands a new user needs:
#   make run    builds the updater and starts it with its built-in image
#   make test   builds everything and runs the whole test suite
# Both install the Debian packages they need first (as root).

BUILD      ?= build
APP        := $(BUILD)/app/NimboSwUpdaterApp_artefacts/RelWithDebInfo/NimboSwUpdater
XVFB       := xvfb-run -a -s "-screen 0 1024x768x24"
JOBS       ?= 2

export CCACHE_SLOPPINESS := time_macros
export CCACHE_NOHASHDIR  := 1
export CCACHE_BASEDIR    := $(CURDIR)

.PHONY: all deps build run test test-asan test-tsan bench package clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)
	@echo "The updater is at $(APP)"

run: build
	@echo "Starting $(APP)"
	@if [ -z "$$DISPLAY" ]; then \
	    echo "There is no display (DISPLAY is not set). To run the updater under a virtual display:"; \
	    echo "    xvfb-run -a $(APP)"; \
	    exit 1; \
	fi
	$(APP)

test: build
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer + UndefinedBehaviorSanitizer,
# and with ThreadSanitizer (without the end-to-end VM tests).
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DNIMBO_SANITIZER=address
	cmake --build build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    $(XVFB) ctest --test-dir build-asan --output-on-failure -LE e2e

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DNIMBO_SANITIZER=thread
	cmake --build build-tsan --target NimboTests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    $(XVFB) ctest --test-dir build-tsan --output-on-failure -L unit

# A Debian package of the updater, in $(BUILD)/packages.
package: build
	cd $(BUILD) && cpack -G DEB -B packages
	@ls $(BUILD)/packages/*.deb

bench: build
	$(BUILD)/bench/NimboUploadBench

clean:
	rm -rf $(BUILD) build-asan build-tsan
