# The two commands of a fresh machine: `make run` and `make test`.
JOBS ?= 2

.PHONY: setup build run test bench package clean

setup:
	bash scripts/setup

build: setup
	cmake --preset release
	cmake --build --preset release -j$(JOBS)

run: build
	./build/release/src/tarrowin

test: setup
	cmake --preset ci
	cmake --build --preset ci -j$(JOBS)
	# A LAN set-up that loses a race against a loaded machine gets one more try; a real fault fails twice.
	ctest --preset ci -j$(JOBS) --repeat until-pass:2
	JOBS=$(JOBS) bash scripts/sanitize
	JOBS=$(JOBS) bash scripts/fuzz

bench: build
	bash bench/run

# The Debian package, in build/release.
package: build
	cd build/release && cpack -G DEB

clean:
	rm -rf build
