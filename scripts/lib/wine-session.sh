# Sourced by scripts/test, scripts/demo and scripts/bench: builds the project, then starts a
# headless X server and a persistent wineserver with a Wine prefix inside the build folder.
# Everything started is stopped on every exit path of the calling script (failure and Ctrl-C
# included): the stop commands collect in a list that one EXIT trap runs, newest first.
# Expects: root (the checkout). Sets: build, bin.

build=${CORVANE_BUILD_DIR:-$root/build}
bin=$build/bin
corvane_exit_commands=()

corvane_build() {
  "$root/scripts/setup"
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$build" "$@"
}

corvane_run_exit_commands() {
  local i
  for ((i = ${#corvane_exit_commands[@]} - 1; i >= 0; i--)); do
    eval "${corvane_exit_commands[$i]}" || true
  done
  corvane_exit_commands=()
}

# Runs a command when the script ends, however it ends.
corvane_at_exit() {
  if [ ${#corvane_exit_commands[@]} -eq 0 ]; then
    trap corvane_run_exit_commands EXIT
    trap 'exit 130' INT TERM
  fi
  corvane_exit_commands+=("$1")
}

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Starts an Xvfb 1280x1024x24 on a display it picks itself; sets corvane_xvfb_pid and
# corvane_xvfb_display (":N"). The caller stops it.
corvane_start_xvfb() {
  local file
  file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  corvane_xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$file" ] && break
    kill -0 "$corvane_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  corvane_xvfb_display=":$(head -n 1 "$file")"
  rm -f "$file"
  [ "$corvane_xvfb_display" != ":" ] || { echo "Xvfb did not report a display" >&2; return 1; }
}

corvane_stop_xvfb() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# With WINEPREFIX and DISPLAY set: creates the prefix once, then starts a persistent
# wineserver and Wine's services for this display.
corvane_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix in $WINEPREFIX" >&2
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  # A server left from an earlier run of this prefix would keep that run's display.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 </dev/null
  # Start Wine's own services now, detached from our output: a service started by a test
  # would inherit the test's output pipe and keep ctest waiting for its end.
  wineboot >/dev/null 2>&1 </dev/null
  corvane_register_filters
}

# Registers the recordings' filters (build/bin/BmpToAvi.dll) in the prefix: once, and again
# only when the file was rebuilt or is another one. Nothing while it is not built.
corvane_register_filters() {
  local dll=$bin/BmpToAvi.dll mark=$WINEPREFIX/.corvane-bmptoavi
  [ -f "$dll" ] || return 0
  [ "$(cat "$mark" 2>/dev/null)" = "$dll $(stat -c %Y "$dll")" ] && return 0
  (cd "$bin" && wine regsvr32 /s BmpToAvi.dll >/dev/null 2>&1 </dev/null) ||
    { echo "wine: BmpToAvi.dll did not register" >&2; return 1; }
  echo "$dll $(stat -c %Y "$dll")" >"$mark"
}

corvane_stop_session() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "${corvane_session_xvfb:-}" ]; then corvane_stop_xvfb "$corvane_session_xvfb"; fi
}

corvane_start_session() {
  corvane_at_exit corvane_stop_session
  corvane_start_xvfb
  corvane_session_xvfb=$corvane_xvfb_pid
  export DISPLAY=$corvane_xvfb_display
  export WINEPREFIX=$build/wineprefix
  corvane_prepare_prefix
}
