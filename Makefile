# The two commands of the README: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?= -DRAYS_WERROR=ON

.PHONY: run test build deps clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)

run: build
	$(BUILD)/rays

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 300

clean:
	rm -rf $(BUILD)
