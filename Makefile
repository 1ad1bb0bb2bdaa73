# Quillon: the two commands a newcomer needs.
#   make test   installs what is missing, builds both presets and runs every test
#   make demo   builds the suite and runs it end to end under Wine (see README)
# Other targets: make windows, make native, make fuzz, make fuzz-long, make bench, make clean.

SHELL := /bin/bash
WINDOWS_DIR := build/windows
NATIVE_DIR := build/native
FUZZ_DIR := build/fuzz
JOBS ?= 2
CTEST_FLAGS ?= --output-on-failure --timeout 300 -j $(JOBS)

.PHONY: test setup windows native fuzz fuzz-long bench demo clean

setup:
	@bash scripts/setup-debian.sh

native: setup
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

windows: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

# Both presets' tests run even when the first fails; the target fails if either did.
test: native windows
	status=0; \
	(cd $(NATIVE_DIR) && ctest $(CTEST_FLAGS)) || status=1; \
	(cd $(WINDOWS_DIR) && ctest $(CTEST_FLAGS)) || status=1; \
	scripts/wine-run --prefix $(WINDOWS_DIR)/wineprefix --shutdown; \
	exit $$status

fuzz: setup
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@echo "libFuzzer drivers: $(FUZZ_DIR)/**/*_fuzzer (run one with its corpus folder)"

# Every libFuzzer driver for FUZZ_SECONDS each (default 60), with executions and coverage.
FUZZ_SECONDS ?= 60
fuzz-long: fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz-long.sh

bench: native windows
	bash bench/run-all.sh

demo: windows
	bash scripts/demo.sh

clean:
	rm -rf build

# The Windows setup program, build/windows/QuillonSetup.exe (makensis), with the help
# file quillon.chm (chmcmd) and every deliverable of build/windows/bin in it.
.PHONY: package
package: setup
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target quillon_package
	@ls -l $(WINDOWS_DIR)/QuillonSetup.exe $(WINDOWS_DIR)/bin/quillon.chm
