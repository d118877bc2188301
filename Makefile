# The two commands a fresh Debian machine needs: `make test` and `make run`.
.PHONY: test run build bench clean

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

clean:
	rm -rf build
