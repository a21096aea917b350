# Front for the CMake builds: `make` cross-compiles everything into dist/ (the 32-bit
# programs and the help file) and dist/x64/ (the 64-bit programs). Each Tolmen.exe carries
# both restore programs, so both of those are built first: the 32-bit one, then the
# 64-bit one, then everything else of each build.
BUILD ?= build
BUILD64 ?= $(BUILD)/x64
JOBS ?= 2
TOOLCHAIN_MISSING = echo "make: the mingw-w64 cross compilers are missing; as root, run: bash tools/setup.sh" >&2; exit 1

.PHONY: all programs restore-programs configure configure-x64 toolchain test demo clean

all: restore-programs
	cmake --build $(BUILD) -j$(JOBS)
	cmake --build $(BUILD64) -j$(JOBS)

# Only what ships: Tolmen.exe and Survin.exe of both widths, Tolmen.chm (no test programs).
programs: restore-programs
	cmake --build $(BUILD) -j$(JOBS) --target Tolmen help_file
	cmake --build $(BUILD64) -j$(JOBS) --target Tolmen

restore-programs: configure
	cmake --build $(BUILD) -j$(JOBS) --target survin
	$(MAKE) --no-print-directory configure-x64
	cmake --build $(BUILD64) -j$(JOBS) --target survin

toolchain:
	@command -v i686-w64-mingw32-g++-win32 >/dev/null 2>&1 || { $(TOOLCHAIN_MISSING); }
	@command -v x86_64-w64-mingw32-g++-win32 >/dev/null 2>&1 || { $(TOOLCHAIN_MISSING); }
	@command -v cmake >/dev/null 2>&1 || { $(TOOLCHAIN_MISSING); }

# A build folder configured for other compilers (the POSIX-thread ones of earlier
# versions) is configured anew: CMake never changes the compiler of a build folder.
STALE_COMPILER = ! grep -qs -- '-posix$$' $(1)/CMakeCache.txt || rm -rf $(1)/CMakeCache.txt $(1)/CMakeFiles

configure: toolchain
	@$(call STALE_COMPILER,$(BUILD))
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

configure-x64: toolchain
	@$(call STALE_COMPILER,$(BUILD64))
	@test -f $(BUILD64)/CMakeCache.txt || cmake -S . -B $(BUILD64) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

test:
	bash tools/test.sh

demo:
	bash tools/demo.sh

clean:
	rm -rf $(BUILD) dist
