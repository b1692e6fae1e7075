# Sourced by scripts/test, scripts/demo and scripts/bench: builds the project, then starts a
# headless X server and a persistent wineserver with a Wine prefix inside the build folder.
# Everything started is stopped on every exit path of the calling script (failure and Ctrl-C
# included): the stop commands collect in a list that one EXIT trap runs, newest first.
# Expects: root (the checkout). Sets: build, bin.

build=${CORVANE_BUILD_DIR:-$root/build}
bin=$build/bin
corvane_exit_commands=()

# Builds everything, or the targets named (corvane_build --target NAME...) together with what
# every Wine session of the scripts uses: the recordings' filter DLL, which each prefix
# registers as it starts, and the simulator that the machines run.
corvane_build() {
  "$root/scripts/setup"
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  if [ "${1:-}" = --target ]; then
    set -- "$@" BmpToAvi skypesim_exe
  fi
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
    # On a busy machine the first start of a new prefix now and then fails: once more, afresh.
    corvane_create_prefix || {
      echo "wine: creating the prefix failed; trying once more" >&2
      wineserver -k >/dev/null 2>&1 || true  # a server of the failed try would hold the old prefix
      wineserver -w >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
      corvane_create_prefix
    } || { echo "wine: could not create the prefix in $WINEPREFIX" >&2; return 1; }
  fi
  # A server left from an earlier run of this prefix would keep that run's display.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 </dev/null ||
    { echo "wine: the wineserver of $WINEPREFIX did not start" >&2; return 1; }
  # Start Wine's own services now, detached from our output: a service started by a test
  # would inherit the test's output pipe and keep ctest waiting for its end.
  wineboot >/dev/null 2>&1 </dev/null || { echo "wine: Wine's services did not start in $WINEPREFIX" >&2; return 1; }
  corvane_register_filters
}

corvane_create_prefix() {
  mkdir -p "$WINEPREFIX" && wineboot -i >/dev/null 2>&1 </dev/null && wineserver -w && [ -f "$WINEPREFIX/system.reg" ]
}

# Registers the recordings' filters (build/bin/BmpToAvi.dll) in the prefix whenever the
# registered file is not the current one: the prefix's mark names the file, its time and size,
# and the prefix's registry must name the file too (a server killed soon after a registration
# may not have saved it). A missing DLL is reported: recordings then cannot start.
corvane_register_filters() {
  local dll=$bin/BmpToAvi.dll mark=$WINEPREFIX/.corvane-bmptoavi current
  if [ ! -f "$dll" ]; then
    echo "wine: $dll is not built: recordings in $WINEPREFIX cannot start" >&2
    return 0
  fi
  current="$dll $(stat -c '%Y %s' "$dll")"
  if [ "$(cat "$mark" 2>/dev/null)" = "$current" ] && corvane_filters_in_registry "$dll"; then
    return 0
  fi
  rm -f "$mark"
  (cd "$bin" && wine regsvr32 /s BmpToAvi.dll >/dev/null 2>&1 </dev/null) ||
    { echo "wine: BmpToAvi.dll did not register in $WINEPREFIX" >&2; return 1; }
  echo "$current" >"$mark"
}

# Whether the prefix's saved registry names the DLL (its path as Wine writes it: Z:, escaped
# backslashes, any case).
corvane_filters_in_registry() {
  grep -qiF -- "Z:${1//\//\\\\}" "$WINEPREFIX/system.reg" 2>/dev/null
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
