# The two commands of the README: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?= -DRAYS_WERROR=ON

ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
PLAIN_BUILD ?= build-plain
# A sanitizer report ends the run, with a status no test expects of a child.
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:exitcode=86 \
                UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87

# Running needs the program alone and the packages that build it; testing
# also the tests, the benchmarks, rays-tick-log and the packages they need.
PARTS = -DBUILD_TESTING=OFF -DRAYS_BENCH=OFF -DRAYS_TICK_LOG=OFF
DEPS_FLAGS =
test test-asan test-fuzz test-plain: PARTS = -DBUILD_TESTING=ON -DRAYS_BENCH=ON -DRAYS_TICK_LOG=ON
test test-asan test-fuzz test-plain: DEPS_FLAGS = --test

.PHONY: run test test-asan test-fuzz test-plain test-debian13 build deps clean

deps:
	@scripts/install-deps $(DEPS_FLAGS)

# Configures FOLDER with ARGS; the output is kept in FOLDER/configure.log,
# its warnings (a package not found, tests that will skip) are shown, and the
# whole log when it fails. Ninja where the folder is new: a folder the
# README's plain CMake line made first keeps its generator.
configure = mkdir -p $(1) && CMAKE_GENERATOR=Ninja cmake -S . -B $(1) $(2) >$(1)/configure.log 2>&1 \
	  || { cat $(1)/configure.log; exit 1; }; grep -A4 -E '^CMake Warning|will skip' $(1)/configure.log || true

build: deps
	@$(call configure,$(BUILD),$(CMAKE_FLAGS) $(PARTS))
	@cmake --build $(BUILD)

run: build
	$(BUILD)/rays

# The sanitizer, fuzz and plain builds first, so that ctest's summary closes
# the output. Everything the tests need is installed, so a skipped test is a
# broken set-up: it fails the run, named with its reason.
test: build
	@$(MAKE) --no-print-directory test-asan test-fuzz test-plain
	cd $(BUILD) && ctest --output-on-failure --timeout 300 -O ctest.log
	@scripts/no-skipped-tests $(BUILD)

# The unit, canvas and headless tests and rays-render under AddressSanitizer
# and UndefinedBehaviorSanitizer (clang's, which also checks float-to-int casts).
test-asan: deps
	@$(call configure,$(ASAN_BUILD),-DCMAKE_CXX_COMPILER=clang++ -DRAYS_SANITIZE=ON -DRAYS_WERROR=ON)
	@cmake --build $(ASAN_BUILD) --target unit_tests render_cli_tests
	$(SANITIZER_ENV) $(ASAN_BUILD)/tests/unit_tests --gtest_brief=1
	$(SANITIZER_ENV) $(ASAN_BUILD)/tests/render_cli_tests --gtest_brief=1

# Twenty seconds of the canvas fuzzer, on a copy of fuzz/corpus so that what
# it finds stays in the build; a crash leaves its input in $(FUZZ_BUILD).
test-fuzz: deps
	@$(call configure,$(FUZZ_BUILD),-DCMAKE_CXX_COMPILER=clang++ -DRAYS_FUZZ=ON -DRAYS_WERROR=ON)
	@cmake --build $(FUZZ_BUILD)
	@rm -rf $(FUZZ_BUILD)/corpus && cp -R fuzz/corpus $(FUZZ_BUILD)/corpus
	@echo "canvas_fuzzer: 20 s, log in $(FUZZ_BUILD)/fuzz.log"
	@$(SANITIZER_ENV) $(FUZZ_BUILD)/fuzz/canvas_fuzzer -max_total_time=20 -timeout=60 -print_final_stats=1 \
	  -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus >$(FUZZ_BUILD)/fuzz.log 2>&1 \
	  || { grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' $(FUZZ_BUILD)/fuzz.log; exit 1; }
	@grep -E '^Done' $(FUZZ_BUILD)/fuzz.log

# The build a packager starts from: plain CMake, default options, default
# generator, none of this Makefile's flags. Its quick tests run too; those
# with a display, the soak and the package (built from the sources, not from
# a build folder) differ from the main build's only in what they skip.
test-plain: deps
	@mkdir -p $(PLAIN_BUILD) && cmake -S . -B $(PLAIN_BUILD) >$(PLAIN_BUILD)/configure.log 2>&1 \
	  || { cat $(PLAIN_BUILD)/configure.log; exit 1; }
	@cmake --build $(PLAIN_BUILD) --parallel 2 >$(PLAIN_BUILD)/build.log 2>&1 \
	  || { cat $(PLAIN_BUILD)/build.log; exit 1; }
	@ctest --test-dir $(PLAIN_BUILD) --timeout 300 -LE 'e2e|soak|package' >$(PLAIN_BUILD)/ctest.log 2>&1 \
	  || { ctest --test-dir $(PLAIN_BUILD) --rerun-failed --output-on-failure; exit 1; }
	@echo "plain build: $$(grep -E 'tests passed' $(PLAIN_BUILD)/ctest.log)"

# Everything again in a fresh Debian 13 system (debootstrap, as root).
test-debian13:
	@scripts/test-debian trixie

# The Debian package, built from a copy of the sources in $(BUILD)/deb.
.PHONY: deb
deb: deps
	@scripts/build-deb $(BUILD)/deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PLAIN_BUILD)
