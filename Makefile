# The two commands a new user needs:
#   make run    builds the updater and starts it with its built-in image
#   make test   builds everything and runs the whole test suite
# Both install the Debian packages they need first (as root).

BUILD      ?= build
APP        := $(BUILD)/app/NimboSwUpdaterApp_artefacts/RelWithDebInfo/NimboSwUpdater
XVFB       := xvfb-run -a -s "-screen 0 1024x768x24 -noreset"
JOBS       ?= 2

export CCACHE_SLOPPINESS := time_macros
export CCACHE_NOHASHDIR  := 1
export CCACHE_BASEDIR    := $(CURDIR)

.PHONY: all deps build run test test-asan test-debug test-tsan bench bench-vm package fuzz-build fuzz static-check windows test-windows test-wine-vm clean

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
	tests/e2e/install-deps.sh
	$(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer + UndefinedBehaviorSanitizer,
# and with ThreadSanitizer (without the end-to-end VM tests).
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DNIMBO_SANITIZER=address -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    $(XVFB) ctest --test-dir build-asan --output-on-failure -LE e2e

# The unit tests in a Debug build, where JUCE's assertions and leak detectors
# are live: what they print fails the test, as one test that fails an
# assertion on purpose proves.
test-debug: deps
	cmake -S . -B build-debug -G Ninja -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-debug --target NimboTests
	$(XVFB) ctest --test-dir build-debug --output-on-failure -L unit

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

# The updater beside a minimal sender of our own in the end-to-end VM, on the
# Linux path (ALSA sequencer) and the Windows one (the .exe under Wine).
bench-vm: build windows
	tests/e2e/install-deps.sh
	bench/vm/bench-vm.sh $(APP) $(BUILD)/bench-vm

# The libFuzzer targets (fuzz/), built with clang, ASan and UBSan in
# build-fuzz, each run from its seeds for FUZZ_SECONDS, or for FUZZ_RUNS
# executions when that is set.
FUZZ_SECONDS ?= 60
FUZZ_RUNS    ?=

fuzz-build:
	@tools/install-deps.sh clang-14 libclang-rt-14-dev
	cmake -S . -B build-fuzz -G Ninja -DNIMBO_FUZZ=ON -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build build-fuzz

fuzz: fuzz-build
	fuzz/run.sh build-fuzz $(if $(FUZZ_RUNS),--runs $(FUZZ_RUNS),--seconds $(FUZZ_SECONDS))

# clang-format (dry run) and clang-tidy (the checks in .clang-tidy).
static-check: build
	@tools/install-deps.sh clang-tidy-14
	tools/static-check.sh $(BUILD)

# The Windows executable, cross-built with MinGW-w64 from the same sources,
# then its resources read back, the Windows unit tests and a smoke run under
# Wine.
windows:
	tools/windows/build.sh

test-windows: windows
	tests/windows/check-resources.sh
	tests/windows/unit-wine.sh
	tests/windows/smoke-wine.sh

# The .exe under Wine in the end-to-end VM, against the real ALSA sequencer.
test-wine-vm: windows
	tests/e2e/install-deps.sh
	tests/e2e/wine-uploads.sh build-windows/app/NimboSwUpdaterApp_artefacts/Release/NimboSwUpdater.exe build-windows/e2e-wine

clean:
	rm -rf $(BUILD) build-asan build-debug build-tsan build-windows build-fuzz build-tidy
