#!/usr/bin/env bash
# Bob views alice's desktop through the sessions: a tap beside bob's session rebuilds alice's
# screen exactly from the raw changes; her cursor reaches bob; his stop ends her sharing threads.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tests/machines/MachineTestSupport.sh"

# Alice's log has an "exit" for each "Thread NAME start", and a start.
thread_ended() {
  local log="$build/machines/1/bin/corvane_peer.exe.log" started ended
  started=$(grep -c "Thread $1 start\r\?$" "$log" || true)
  ended=$(grep -c "Thread $1 exit\r\?$" "$log" || true)
  [ "$started" -gt 0 ] && [ "$started" = "$ended" ]
}

# Alice's screen, as a checksum, reaches bob's tap.
screen_reaches_bob() {
  local sum
  sum=$(corvane_ask alice screen-sum screen-sum | cut -d' ' -f3)
  same "$(corvane_ask bob "tap-screen $sum 60" tap-screen 70)" "tap-screen $sum"
}

corvane_deadline 400

step "two machines with session hosts; bob views at 24 bits without JPEG"
start_machines
rm -f "$build/machines/1/bin/corvane_peer.exe.log"
start_session_peers
corvane_ask alice "pattern 7" "pattern 7" >/dev/null
corvane_ask bob "quality 24 raw" "quality 24 raw" >/dev/null
corvane_ask bob tap "tap alice" >/dev/null
corvane_tell bob request
corvane_expect alice '^session bob: notification "Bob Example" "User wants to see your desktop" - \[Accept/0 Decline/0\]$'
corvane_tell alice accept
corvane_expect alice '^session bob: state TrackingState$'
expect_all bob '^session alice: show-remote ' '^session alice: state DisplayingState$'
corvane_tell alice status
expect_all alice '^status-line bob: state Tracking desktop changes and sending them to remote computer$' \
  '^status-line bob: User info/Computer name = .+'

step "the changes bob receives rebuild alice's screen exactly"
screen_reaches_bob
corvane_ask alice "pattern 12" "pattern 12" >/dev/null
screen_reaches_bob

step "alice's cursor reaches bob"
corvane_ask alice "set-cursor 50 60" "cursor set" >/dev/null
cursor_reached_bob() { counts=$(corvane_ask bob tap-counts tap-counts) && [[ "$counts" == *" mouse 50 60 "* ]]; }
retry 100 cursor_reached_bob
[[ "$counts" == *" pictures 0" ]] || { echo "FAILED: $counts" >&2; exit 1; }

step "the viewer stops: alice's threads end"
corvane_tell bob stop
expect_all alice '^session bob: notification "Bob Example" "Remote user aborted session." red \[\]$' \
  '^session bob: state AvailableState$'
for name in DesktopTracker OwnGrabber MouseHandler; do retry 150 thread_ended $name; done

echo "sharing on two machines: passed"
