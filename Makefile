# Front for the CMake build: `make` cross-compiles everything into dist/.
BUILD ?= build
JOBS ?= 2

.PHONY: all programs configure test demo clean

all: configure
	cmake --build $(BUILD) -j$(JOBS)

# Only what ships: Tolmen.exe, Survin.exe, Tolmen.chm (no test programs).
programs: configure
	cmake --build $(BUILD) -j$(JOBS) --target Tolmen help_file

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

test:
	bash tools/test.sh

demo:
	bash tools/demo.sh

clean:
	rm -rf $(BUILD) dist
