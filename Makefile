# One-word commands; CMake does the work.
BUILD ?= build
CMAKE_FLAGS ?=

# The Windows executable is built and tested under Wine where the cross
# toolchain and Wine are installed (bash .ci/run installs both); WINDOWS=no
# leaves it out.
WINDOWS ?= $(shell command -v i686-w64-mingw32-g++ >/dev/null 2>&1 && command -v wine >/dev/null 2>&1 && echo yes || echo no)
ifeq ($(WINDOWS),yes)
TEST_WINDOWS = windows
TEST_FLAGS = -DAUTONOMIE_EXE_WINDOWS=$(CURDIR)/build-windows/autonomie.exe
else
TEST_FLAGS = -DAUTONOMIE_EXE_WINDOWS=
endif

.PHONY: build run test windows bench fuzz analyse clean

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) --parallel

run: build
	./$(BUILD)/autonomie

test: $(TEST_WINDOWS)
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(TEST_FLAGS)
	cmake --build $(BUILD) --parallel
ifneq ($(WINDOWS),yes)
	@echo "note: the Windows executable is not tested: i686-w64-mingw32-g++ or wine is missing (bash .ci/run installs them)"
endif
	ctest --test-dir $(BUILD) --output-on-failure

windows:
	cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build build-windows --parallel

bench: build
	./$(BUILD)/bench/bench_charge ./$(BUILD)/autonomie

# Each fuzzer for FUZZ_SECONDES, from the seed corpus; a finding stops with an error.
FUZZ_SECONDES ?= 60
fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DAUTONOMIE_FUZZ=ON
	cmake --build build-fuzz --parallel
	set -e; for cible in duree alimentation; do \
	    corpus=$$(mktemp -d); \
	    if ! ./build-fuzz/tests/fuzz/fuzz_$$cible -max_total_time=$(FUZZ_SECONDES) -print_final_stats=1 \
	            -artifact_prefix=build-fuzz/ $$corpus tests/fuzz/corpus/$$cible > build-fuzz/$$cible.log 2>&1; then \
	        tail -n 40 build-fuzz/$$cible.log; exit 1; \
	    fi; \
	    echo "fuzz_$$cible:"; grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' build-fuzz/$$cible.log; \
	    rm -rf $$corpus; \
	done

# Formatting, clang-tidy and cppcheck over the program's sources. cppcheck
# takes the members of a struct read through std::optional for unused.
analyse:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	clang-format --dry-run --Werror src/*.cpp src/*.h tests/*.cpp tests/fuzz/*.cpp bench/*.cpp
	clang-tidy -p $(BUILD) --quiet src/*.cpp
	cppcheck --enable=warning,style,performance,portability --std=c++20 --error-exitcode=1 --quiet \
	    --inline-suppr --suppress=unusedStructMember -I src src/

clean:
	rm -rf build build-*
