# The two commands: `make run` and `make test`. Both install what is missing
# (Debian packages), configure and build first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
FUZZ_SECONDS ?= 60
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-asan test-windows windows-zip windows-installer bench fuzz deb format tidy clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The display is checked before anything is installed or built, and only the
# programs that run are built.
run:
	@scripts/run-program check
	@scripts/install-deps
	@$(MAKE) --no-print-directory $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target korvid-halvane korvid-halvaned korvid-hwmon
	@scripts/run-program $(BUILD)

# The whole suite, then again under AddressSanitizer and UBSan, then a short
# run of every fuzzer over its seed corpus.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=5

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVID_SANITIZE=ON -DKORVID_BENCH=OFF >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/install-deps bench
	@scripts/run-bench $(BUILD)

fuzz:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKORVID_GUI=OFF -DKORVID_BENCH=OFF -DKORVID_FUZZ=ON -DKORVID_SANITIZE=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The whole program and its tests cross-built for Windows with MinGW-w64 and
# a Qt for MinGW, run under Wine, then the real program from the Windows zip
# end to end (64-bit); the plain-C++ libraries for 32-bit too.
test-windows:
	@scripts/install-deps windows
	@scripts/test-windows $(WIN64_BUILD) $(WIN32_BUILD)

# The Windows program as users get it: dist/korvid-halvane-<version>-windows-x86_64.zip,
# and with windows-installer dist/korvid-halvane-<version>-setup.exe too.
windows-zip:
	@scripts/install-deps windows
	@bash -c 'set -e; source scripts/windows-env; qt=$$(windows_qt) || { echo "windows-zip: no Qt for MinGW (set QT_MINGW_PREFIX)" >&2; exit 1; }; \
	    windows_build $(WIN64_BUILD) "$$qt"; scripts/windows-zip $(WIN64_BUILD) "$$qt"'

windows-installer: windows-zip
	@scripts/windows-installer $(WIN64_BUILD)

# The Debian package, in dist/.
deb:
	@scripts/install-deps deb
	@scripts/build-deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Windows files need MinGW's headers and the fuzz targets build only with
# clang (build-fuzz); the rest is checked against the main build.
tidy: build
	git ls-files '*.cpp' | grep -v -e _win32 -e '^tests/fuzz/' | xargs clang-tidy -p $(BUILD) --quiet

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) build-win64-qt dist
