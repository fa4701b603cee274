# `make run` builds and starts Orbimeter; `make test` builds and runs every test; `make package`
# builds the Debian package. All install what they need first (scripts/setup.sh).
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
PACKAGE_BUILD ?= build-package
# Optimised, with enough debug information for backtraces with line numbers.
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
# Every build here treats a warning as an error.
STRICT = -DORB_WERROR=ON

.PHONY: all setup build run test test-build-tree test-sanitizers sanitize-build test-asan test-fuzz \
	package bench format clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(STRICT) >/dev/null
	@cmake --build $(BUILD)

run: build
	@scripts/run.sh $(BUILD)

# The tree's own tests run while the sanitizer tree builds and runs its share: the desktop and
# soak tests mostly wait on displays and timers, so the two halves share the processors. Each
# half's output appears whole as it finishes.
test: build
	@$(MAKE) --no-print-directory -j2 --output-sync=recurse test-build-tree test-sanitizers

test-build-tree:
	@cd $(BUILD) && ctest --output-on-failure

test-sanitizers: test-asan
	@$(MAKE) --no-print-directory test-fuzz

# One clang tree for the sanitizers: the engine, reader and view tests run once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets (libFuzzer) are built
# against the same instrumented library; clang-tidy checks the program's sources with its compile
# commands. Its QML is compiled as it loads.
sanitize-build: setup
	@CC=clang CXX=clang++ cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
		"-DCMAKE_CXX_FLAGS_DEBUG=-O1 -gline-tables-only" -DORB_SANITIZE=ON -DORB_FUZZ=ON \
		-DORB_QML_CACHEGEN=OFF -DORB_BUILD_BENCH=OFF $(STRICT) >/dev/null
	@cmake --build $(SANITIZE_BUILD) --target orbimeter_tests orbimeter_gui_tests orbimeter_fuzz

test-asan: sanitize-build
	@cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -L 'engine|gui|tidy'

# A release build of the programs alone, in a folder of its own, packed as
# $(PACKAGE_BUILD)/orbimeter_<version>_<arch>.deb.
package: setup
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORB_BUILD_TESTS=OFF \
		-DORB_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD) --target package

# A short run of every fuzz target with a fixed seed; bench/fuzz.sh runs them longer.
test-fuzz: sanitize-build
	@fuzz/run-short.sh $(SANITIZE_BUILD)

bench: build
	@cmake --build $(BUILD) --target orbimeter_benches
	@bench/run.sh $(BUILD)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')
	@for file in $$(git ls-files '*.qml'); do /usr/lib/qt6/bin/qmlformat -i $$file; done

clean:
	@rm -rf $(BUILD) $(SANITIZE_BUILD) $(PACKAGE_BUILD)
