# `make run` builds and starts Orbimeter; `make test` builds and runs every test; `make package`
# builds the Debian package. All install what they need first (scripts/setup.sh).
BUILD ?= build
ASAN_BUILD ?= build-asan
PACKAGE_BUILD ?= build-package
FUZZ_BUILD ?= build-fuzz
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Every build here treats a warning as an error.
STRICT = -DORB_WERROR=ON

.PHONY: all setup build run test test-asan fuzz-build test-fuzz package bench format clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(STRICT) >/dev/null
	@cmake --build $(BUILD)

run: build
	@scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-fuzz

# The engine, reader and view tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer.
test-asan: setup
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORB_SANITIZE=ON $(STRICT) \
		-DORB_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) --target orbimeter_tests orbimeter_gui_tests
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -L 'engine|gui'

# A release build of the programs alone, in a folder of its own, packed as
# $(PACKAGE_BUILD)/orbimeter_<version>_<arch>.deb.
package: setup
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORB_BUILD_TESTS=OFF \
		-DORB_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD) --target package

# The fuzz targets need clang's libFuzzer: a build tree of their own, with the library
# instrumented for coverage and both sanitizers.
fuzz-build: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(STRICT) \
		-DORB_FUZZ=ON -DORB_BUILD_TESTS=OFF -DORB_BUILD_GUI=OFF -DORB_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target orbimeter_fuzz

# A short run of every fuzz target with a fixed seed; bench/fuzz.sh runs them longer.
test-fuzz: fuzz-build
	@fuzz/run-short.sh $(FUZZ_BUILD)

bench: build
	@bench/run.sh $(BUILD)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')
	@for file in $$(git ls-files '*.qml'); do /usr/lib/qt6/bin/qmlformat -i $$file; done

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
