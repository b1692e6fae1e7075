# Sourced by the two-machine test scripts (which set root): their helpers, checks and start.
source "$root/scripts/lib/wine-session.sh"
source "$root/scripts/lib/machines.sh"
source "$root/scripts/lib/viewing.sh"
trap 'echo "FAILED: line $LINENO: $BASH_COMMAND" >&2' ERR

step() { echo "-- $*"; }
same() { [ "$1" = "$2" ] || { echo "FAILED: \"$1\" where \"$2\" was expected" >&2; return 1; }; }
messages() { echo "--discover Corvane.$1.Discover --attach Corvane.$1.Attach"; }
# expect_all NAME REGEX...: the lines, in this order, from NAME.
expect_all() { local name=$1 regex; shift; for regex; do corvane_expect "$name" "$regex"; done; }
# retry N COMMAND...: until it succeeds, at most N times 0.1 s apart.
retry() { local n=$1; shift; for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done; "$@"; }

# Machines 1 and 2 with linked simulators, alice's on 1 and bob's on 2; arguments go to both.
start_machines() {
  corvane_machines_start 1 2
  # shellcheck disable=SC2046
  corvane_start_simulator 1 --listen 0 "$@" --account alice "Alice Example" --friends bob $(messages alice)
  # shellcheck disable=SC2046
  corvane_start_simulator 2 --link "127.0.0.1:${corvane_sim_port[1]}" "$@" --account bob "Bob Example" $(messages bob)
  corvane_expect sim1 '^link up$' >/dev/null
  corvane_expect sim2 '^link up$' >/dev/null
}

# start_peer N NAME ACCOUNT [OPTION...]: a peer host on machine N for the account, attaching.
start_peer() {
  local n=$1 name=$2 account=$3
  shift 3
  # shellcheck disable=SC2046
  corvane_spawn "$n" "$name" corvane_peer.exe "$@" $(messages "$account")
  corvane_tell "$name" attach
}

# Session hosts for alice and bob, each of whom sees the other available.
start_session_peers() {
  start_peer 1 alice alice --sessions
  start_peer 2 bob bob --sessions
  corvane_expect alice '^session bob: state AvailableState$' 60 >/dev/null
  corvane_expect bob '^session alice: state AvailableState$' 60 >/dev/null
}
