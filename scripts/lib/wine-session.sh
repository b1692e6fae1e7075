# Sourced by scripts/test, scripts/demo and scripts/bench: builds the project, then starts a
# headless X server and a persistent wineserver with a Wine prefix inside the build folder.
# Both are stopped on every exit path of the calling script.
# Expects: root (the checkout). Sets: build, bin.

build=${CORVANE_BUILD_DIR:-$root/build}
bin=$build/bin

corvane_build() {
  "$root/scripts/setup"
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$build" "$@"
}

corvane_stop_session() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "${corvane_xvfb_pid:-}" ]; then
    kill "$corvane_xvfb_pid" 2>/dev/null || true
    wait "$corvane_xvfb_pid" 2>/dev/null || true
  fi
  rm -f "${corvane_display_file:-}"
}

corvane_start_session() {
  trap corvane_stop_session EXIT
  trap 'exit 130' INT TERM

  # Xvfb picks a free display itself and writes its number to the file.
  corvane_display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$corvane_display_file" >/dev/null 2>&1 &
  corvane_xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$corvane_display_file" ] && break
    kill -0 "$corvane_xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; return 1; }
    sleep 0.1
  done
  [ -s "$corvane_display_file" ] || { echo "Xvfb did not report a display" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$corvane_display_file")"

  export WINEPREFIX=$build/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix in $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  # A server left from an earlier run of this prefix would keep that run's display.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1
  # Start Wine's own services now, detached from our output: a service started by a test
  # would inherit the test's output pipe and keep ctest waiting for its end.
  wineboot >/dev/null 2>&1 </dev/null
}
