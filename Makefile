# The two commands a fresh Debian machine needs: `make test` and `make run`.
.PHONY: test run build bench dist screenshot clean

test:
	sh tools/setup.sh
	sh tools/build.sh test

run:
	sh tools/setup.sh
	sh tools/run.sh

build:
	sh tools/setup.sh
	sh tools/build.sh build

bench:
	sh tools/setup.sh
	sh tools/build.sh bench

dist:
	sh tools/setup.sh
	sh tools/build.sh dist

screenshot:
	sh tools/setup.sh
	sh tools/screenshot.sh

clean:
	rm -rf build
