# The README's commands. Every target installs what it needs first.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
WIN_BUILD ?= build-windows
WIN_DEPS ?= build-windows-deps
WIN_TEST_BUILD ?= build-windows-test
WINE ?= /usr/lib/wine/wine64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build test usb-test demo asan tsan fuzz fuzz-long bench install clean windows windows-deps windows-test-config windows-test windows-comm-test

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The USB route against the real kernel: boots Debian's kernel in QEMU with
# emulated USB printers (no host USB, no KVM); installs what it needs.
usb-test: build
	./tests/usb_vm/run.sh $(BUILD)

# Prints the sample label on a virtual network printer that the script starts
# and stops; no hardware needed.
demo: build
	./examples/run-demo.sh $(BUILD)

asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMKLABEL_SANITIZE=ON -DMKLABEL_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The same tests under ThreadSanitizer: caches and surface memory are shared
# by every thread that renders or prints. A race fails the test it shows in.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMKLABEL_TSAN=ON -DMKLABEL_BENCH=OFF \
	  -DMKLABEL_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --output-on-failure -j $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMKLABEL_FUZZ=ON -DMKLABEL_TESTS=OFF -DMKLABEL_BENCH=OFF -DMKLABEL_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	./tests/fuzz/run-smoke.sh $(FUZZ_BUILD)

# The label, loader and picture fuzzers looking for new inputs, FUZZ_SECONDS
# each (all three at once), with a 1 s and 512 MiB limit per input.
FUZZ_SECONDS ?= 1800
fuzz-long: fuzz
	./tests/fuzz/run-long.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# mklabel.dll for 64-bit Windows, cross-built with mingw-w64, and the folder
# a Windows developer takes, $(WIN_BUILD)/sdk; zint is built once from
# Debian's source package into $(WIN_DEPS).
windows-deps:
	./scripts/install-windows-deps
	./scripts/build-windows-deps $(WIN_DEPS)

windows: windows-deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DMKLABEL_WINDOWS_DEPS=$(abspath $(WIN_DEPS)) \
	  -DMKLABEL_TESTS=OFF -DMKLABEL_BENCH=OFF -DMKLABEL_EXAMPLES=OFF $(CMAKE_FLAGS)
	cmake --build $(WIN_BUILD) -j $(JOBS)
	rm -rf $(WIN_BUILD)/sdk
	cmake --install $(WIN_BUILD) --prefix $(WIN_BUILD)/sdk
	./tests/exports/check-sdk.sh $(WIN_BUILD)/sdk include/mklabel.h 97

# The test suite cross-built and run under Wine, in a Wine prefix of its own
# whose server stays up for the run: everything but what only Linux has, and
# host programs built against the SDK folder of `make windows`. The tests
# start threads through the standard library, so they build with mingw's
# posix threads model (the DLL: win32; see cmake/mingw-w64-x86_64.cmake).
windows-test-config: windows
	./scripts/build-windows-deps $(WIN_DEPS) --gtest
	cmake -S . -B $(WIN_TEST_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DMKLABEL_MINGW_THREADS=posix -DMKLABEL_WINDOWS_SDK=$(abspath $(WIN_BUILD))/sdk \
	  -DCMAKE_BUILD_TYPE=Release -DMKLABEL_WINDOWS_DEPS=$(abspath $(WIN_DEPS)) \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$(WINE) -DMKLABEL_BENCH=OFF -DMKLABEL_EXAMPLES=OFF $(CMAKE_FLAGS)

windows-test: windows-test-config
	cmake --build $(WIN_TEST_BUILD) -j $(JOBS)
	./scripts/run-under-wine $(WIN_TEST_BUILD) ctest --output-on-failure -j $(JOBS)

# The communication tests alone: the network route against the fake
# printers on loopback, USB against a fake printer-class driver, the spooler
# against a private scheduler.
windows-comm-test: windows-test-config
	cmake --build $(WIN_TEST_BUILD) -j $(JOBS) --target mklabel_comm_tests mklabel_spooler_tests mklabel_platform_tests
	./scripts/run-under-wine $(WIN_TEST_BUILD) ctest --output-on-failure -j $(JOBS) -R '^comm'

bench: build
	$(BUILD)/bench/mklabel_bench

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(WIN_TEST_BUILD) $(WIN_DEPS)
