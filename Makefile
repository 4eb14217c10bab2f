# One-word commands; CMake does the work.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: build run test clean

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) --parallel

run: build
	./$(BUILD)/autonomie

test: build
	ctest --test-dir $(BUILD) --output-on-failure

clean:
	rm -rf build build-*
