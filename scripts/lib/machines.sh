# Sourced after wine-session.sh. Two (or more) machines on this one computer: machine N is
# its own Xvfb display, its own Wine prefix (build/machines/N/wineprefix, created once) with
# its own wineserver, and the programs started on it. Every machine and program started here
# is stopped when the calling script ends, however it ends.
#
#   corvane_machines_start 1 2          start machines (prefixes prepared side by side)
#   corvane_machine_stop N              stop one early (else the exit does it)
#   corvane_spawn N NAME PROGRAM ARGS   run a Windows program of build/bin on machine N (from
#                                       build/machines/N/bin, where its log lands): its
#                                       standard input is a pipe fed by corvane_tell, its
#                                       output a log that corvane_expect reads
#   corvane_tell NAME LINE              write a line to it; what it printed before is passed over
#   corvane_expect NAME REGEX [SECONDS] wait for a line matching REGEX after the last line
#                                       expected or passed over; prints it; fails, showing the
#                                       log's end, on time-out or when the program has ended
#   corvane_start_simulator N ARGS      skypesim.exe on machine N as "simN", waits for "ready";
#                                       sets corvane_sim_port[N] when it listens
#   corvane_end NAME                    close its input and let it end (killed after 10 s)
#   corvane_deadline SECONDS            end the script (cleanly, as on Ctrl-C) after that long,
#                                       before a caller's harder time-out could kill it

declare -A corvane_machine_display corvane_machine_prefix corvane_machine_xvfb
declare -A corvane_proc_fd corvane_proc_pid corvane_proc_log corvane_proc_mark corvane_proc_machine
declare -A corvane_sim_port
corvane_logs=${corvane_logs:-$build/machines/logs/$(basename "$0")}

# Runs a command with machine N's display and prefix.
corvane_on_machine() {
  local n=$1
  shift
  (
    export DISPLAY=${corvane_machine_display[$n]} WINEPREFIX=${corvane_machine_prefix[$n]}
    "$@"
  )
}

corvane_machines_start() {
  local n pids=()
  mkdir -p "$corvane_logs"
  for n in "$@"; do
    corvane_start_xvfb
    corvane_machine_xvfb[$n]=$corvane_xvfb_pid
    corvane_machine_display[$n]=$corvane_xvfb_display
    corvane_machine_prefix[$n]=$build/machines/$n/wineprefix
    # Each machine runs the programs from a folder of its own, so that their logs beside them
    # stay apart.
    mkdir -p "$build/machines/$n/bin"
    ln -sf "$bin"/*.exe "$bin"/*.dll "$build/machines/$n/bin/"
    corvane_at_exit "corvane_machine_stop $n"
  done
  for n in "$@"; do
    corvane_on_machine "$n" corvane_prepare_prefix &
    pids+=($!)
  done
  for n in "${pids[@]}"; do
    wait "$n" || { echo "a machine's Wine prefix did not start" >&2; return 1; }
  done
}

corvane_machine_stop() {
  local n=$1 name
  [ -n "${corvane_machine_xvfb[$n]:-}" ] || return 0
  for name in "${!corvane_proc_machine[@]}"; do
    [ "${corvane_proc_machine[$name]}" = "$n" ] && corvane_end "$name" 2
  done
  corvane_on_machine "$n" wineserver -k >/dev/null 2>&1 || true
  corvane_stop_xvfb "${corvane_machine_xvfb[$n]}"
  unset "corvane_machine_xvfb[$n]"
}

corvane_spawn() {
  local n=$1 name=$2 program=$3
  shift 3
  local fifo=$corvane_logs/$name.in log=$corvane_logs/$name.log fd
  rm -f "$fifo" "$log"
  mkfifo "$fifo"
  : >"$log"
  (
    cd "$build/machines/$n/bin" || exit 1
    export DISPLAY=${corvane_machine_display[$n]} WINEPREFIX=${corvane_machine_prefix[$n]}
    exec "$root/scripts/wine-run" "./$program" "$@" <"$fifo" >"$log" 2>&1
  ) &
  corvane_proc_pid[$name]=$!
  exec {fd}>"$fifo"
  corvane_proc_fd[$name]=$fd
  corvane_proc_log[$name]=$log
  corvane_proc_mark[$name]=0
  corvane_proc_machine[$name]=$n
}

corvane_mark() {
  corvane_proc_mark[$1]=$(wc -l <"${corvane_proc_log[$1]}")
}

corvane_tell() {
  corvane_mark "$1"
  echo "$2" >&"${corvane_proc_fd[$1]}"
}

corvane_expect() {
  local name=$1 regex=$2 deadline=$((SECONDS + ${3:-20})) found
  local log=${corvane_proc_log[$name]}
  while :; do
    if found=$(tail -n +$((corvane_proc_mark[$name] + 1)) "$log" | tr -d '\r' | grep -n -m 1 -E -- "$regex"); then
      corvane_proc_mark[$name]=$((corvane_proc_mark[$name] + ${found%%:*}))
      echo "${found#*:}"
      return 0
    fi
    if ((SECONDS >= deadline)) || ! kill -0 "${corvane_proc_pid[$name]}" 2>/dev/null; then
      local ended=""
      if ! kill -0 "${corvane_proc_pid[$name]}" 2>/dev/null; then
        wait "${corvane_proc_pid[$name]}" 2>/dev/null && ended=" (it ended with status 0)" || ended=" (it ended with status $?)"
      fi
      echo "$name did not print /$regex/$ended; its last lines:" >&2
      tail -n 15 "$log" | sed "s/^/  $name| /" >&2
      return 1
    fi
    sleep 0.1
  done
}

corvane_end() {
  local name=$1 grace=${2:-10} pid=${corvane_proc_pid[$1]:-} fd=${corvane_proc_fd[$1]:-}
  [ -n "$pid" ] || return 0
  exec {fd}>&-
  for _ in $(seq $((grace * 10))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset "corvane_proc_pid[$name]" "corvane_proc_machine[$name]"
}

corvane_start_simulator() {
  local n=$1
  shift
  corvane_spawn "$n" "sim$n" skypesim.exe "$@"
  corvane_expect "sim$n" '^ready$' 30 >/dev/null || return 1
  local listening
  if listening=$(grep -m 1 '^listening on port ' "${corvane_proc_log[sim$n]}"); then
    corvane_sim_port[$n]=${listening##* }
  fi
}

corvane_deadline() {
  local script=$$
  (
    trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
    sleep "$1" &
    sleeper=$!
    wait "$sleeper"
    echo "$(basename "$0"): no end after $1 s: stopping" >&2
    kill -TERM "$script"
  ) </dev/null &
  corvane_at_exit "kill $! 2>/dev/null || true"
}
