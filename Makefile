# Two commands for people: `make run` and `make test`. Everything else is for developers.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps configure bench fuzz asan tsan clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@$(BUILD_DIR)/vesk

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen dbus-run-session -- \
		ctest --output-on-failure -j $(JOBS) --timeout 300

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_BENCH=ON -DVESK_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/*/vesk_bench_*; do \
		if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; fi; \
	done

fuzz: deps
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_BUILD_FUZZ=ON -DVESK_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS)

# The whole suite under a sanitizer, each in its own build folder (not part of `make test`).
# Reports that belong to system libraries are suppressed by the lists in tests/sanitizers/.
SANITIZER_TEST = QT_QPA_PLATFORM=offscreen dbus-run-session -- ctest --output-on-failure -j $(JOBS) --timeout 900

asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_FLAGS="-fsanitize=address -fno-omit-frame-pointer" \
		-DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 $(SANITIZER_TEST)

# The store, search and grid tests, where the work crosses threads; a test with any report fails
# (the sanitizer's exit code). Qt, GLib and the other system libraries are not built for the
# sanitizer: what their own code reads and writes is left to them (ignore_noninstrumented_modules),
# and the reports in Qt's inline code are named in tsan.supp. A test that forks goes on.
TSAN_TESTS = vesk_store_tests vesk_search_tests vesk_grid_tests
TSAN_FILTER ?= ^(store|search|grid)\.

tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=0:die_after_fork=0:ignore_noninstrumented_modules=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp \
		$(SANITIZER_TEST) -R '$(TSAN_FILTER)'

clean:
	@rm -rf $(BUILD_DIR) build-bench build-fuzz build-asan build-tsan
