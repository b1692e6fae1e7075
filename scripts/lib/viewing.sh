# Sourced after machines.sh by the scripts that view a desktop between two machines.
#
#   corvane_ask NAME COMMAND ANSWER [SECONDS]   tells a program a command and prints its answer
#                                               (a line starting with ANSWER); fails on an
#                                               "error" line or a time-out
#   corvane_ms LINE                             the "at <ms> ms" of a line
#   corvane_delay MARKED SEEN                   milliseconds between two such lines

corvane_ask() {
  local name=$1 command=$2 answer=$3 seconds=${4:-20} line
  corvane_tell "$name" "$command"
  line=$(corvane_expect "$name" "^($answer|error)" "$seconds") || {
    echo "$name: $command: no answer" >&2
    return 1
  }
  if [[ $line == error* ]]; then
    echo "$name: $command: $line" >&2
    return 1
  fi
  echo "$line"
}

corvane_ms() { sed -E "s/.* at ([0-9.]+) ms.*/\1/" <<<"$1"; }

corvane_delay() {
  awk -v a="$(corvane_ms "$1")" -v b="$(corvane_ms "$2")" 'BEGIN { printf "%.0f", b - a }'
}
