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

.PHONY: build run test windows bench clean

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

clean:
	rm -rf build build-*
