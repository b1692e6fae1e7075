#!/usr/bin/env bash
# The SDK package unpacked alone: a small host built against it with find_package(CorvaneCore)
# attaches to the simulator and lists the sessions. Core.dll exports public names only.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${CORVANE_BUILD_DIR:-$root/build}
source "$root/scripts/lib/package.sh"

work=$(mktemp -d)
sim=
cleanup() { exec 3>&- 2>/dev/null || true; [ -z "$sim" ] || wait "$sim" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The export table, demangled: members of the public classes in, of the library's workings out.
exports=$(x86_64-w64-mingw32-objdump -p "$build/bin/Core.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk 'NR > 1 && NF {print $NF}' | c++filt)
for name in SessionManager:: ISkypeClient:: RemoteScreenSurface:: AviManager:: Configuration:: Picture:: \
  CorvaneLogging:: ListVideoCodecs CreateSkypeClient; do grep -q "^$name" <<<"$exports" || fail "no $name"; done
for name in NetworkProtocol SkypeReliableNetworkTransport ScreenEncoder DesktopTracker CodecsEngine \
  ThreadWindow SkypeApplication SkypeClient Session InputReplay MainThreadInvoker; do
  if grep -q "^$name::" <<<"$exports"; then fail "Core.dll exports the internal $name"; fi
done

corvane_package "$work/CorvaneCore.zip"
mkdir "$work/sdk"
(cd "$work/sdk" && cmake -E tar xf ../CorvaneCore.zip)
sdk=$(echo "$work"/sdk/CorvaneCore-*)
[ -f "$sdk/licences/zlib.txt" ] && [ -f "$sdk/licences/boost.txt" ] || fail "licences missing"

# The public headers stand on their own and leave the system's big headers to the host.
includes=$(echo '#include "corvane/Core.h"' | x86_64-w64-mingw32-g++-posix -std=c++17 -H -fsyntax-only \
  -I"$sdk/include" -I"$sdk/include/corvane" -x c++ - 2>&1) || { echo "$includes"; fail "Core.h does not compile alone"; }
if grep -E '[/ ](windows|urlmon|dshow)\.h$' <<<"$includes"; then fail "Core.h pulls in a system header"; fi

# The host sees the package and, of the checkout, only the cross-compiler's toolchain file.
cp -r "$root/tests/package/host" "$work/host"
cmake -S "$work/host" -B "$work/host-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCorvaneCore_DIR="$sdk/lib/cmake/CorvaneCore" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; fail "the host does not configure"; }
cmake --build "$work/host-build" || fail "the host does not build against the package"
cp "$sdk"/bin/*.dll "$work/host-build/"

# alice's messenger answers the host; bob's runs under names of its own.
mkfifo "$work/sim.in"
"$root/scripts/wine-run" "$build/bin/skypesim.exe" \
  --account alice "Alice Liddell" --friends bob --discover CorvanePackageDiscover --attach CorvanePackageAttach \
  --account bob "Bob Smith" --friends alice --discover CorvanePackageBobD --attach CorvanePackageBobA \
  <"$work/sim.in" >"$work/sim.out" 2>&1 &
sim=$!
exec 3>"$work/sim.in"
for _ in $(seq 300); do
  grep -q '^ready' "$work/sim.out" && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.out"; fail "the simulator ended"; }
  sleep 0.1
done

(cd "$work/host-build" && timeout 120 "$root/scripts/wine-run" ./corvane_host.exe \
  CorvanePackageDiscover CorvanePackageAttach 2) >"$work/host.out" 2>&1 || { cat "$work/host.out"; fail "the host failed"; }
cat "$work/host.out"
grep -q '^attached as alice' "$work/host.out" && grep -q "^session bob: " "$work/host.out" || fail "no session of bob"
echo "package test passed"
