#!/bin/sh
# Passes when the library exports exactly the four entry points, unmangled.
set -eu
actual=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
expected="DestroyObject GetClassNames GetClassObject SetPlatformCapabilities "
[ "$actual" = "$expected" ] && exit 0
echo "exported: $actual" >&2
echo "expected: $expected" >&2
exit 1
