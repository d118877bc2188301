#!/bin/sh
# `make screenshot`: the main window after the demonstration session of
# `make run`, as help/velkor.png (shown by README.md) and inside the help page
# help/velkor.html as a data: URI, so that the page stays one file. Runs
# `make run` without a display, then crops its screenshot to the window.
set -e
cd "$(dirname "$0")/.."
PNG=help/velkor.png
PAGE=help/velkor.html
PREFIX='src="data:image/png;base64,'

grep -q "$PREFIX" "$PAGE" || { echo "screenshot: $PAGE has no $PREFIX...\" to fill"; exit 1; }
rm -f build/velkor.png
DISPLAY= sh tools/run.sh
[ -s build/velkor.png ] || { echo "screenshot: make run wrote no build/velkor.png"; exit 1; }
# The virtual display's desktop is black: trimming it leaves the window. No
# time stamps in the file, so an unchanged picture leaves it unchanged.
convert build/velkor.png -trim +repage -strip "$PNG"
# base64 has no "|", so it can stand as sed's separator.
sed -i "s|$PREFIX[^\"]*\"|$PREFIX$(base64 -w0 "$PNG")\"|" "$PAGE"
echo "screenshot: $PNG ($(wc -c <"$PNG") bytes, $(identify -format %wx%h "$PNG")), embedded in $PAGE"
