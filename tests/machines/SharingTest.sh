#!/usr/bin/env bash
# Sharing end to end on two machines: bob views alice's desktop through the sessions. A tap
# beside bob's session rebuilds alice's screen from the raw changes (24 bits, no JPEG) and must
# match it exactly; alice's cursor reaches bob; the viewer's stop ends alice's tracker, grabber
# and mouse threads.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tests/machines/MachineTestSupport.sh"

# Every "Thread NAME start" in alice's log has its "exit" within 15 s.
threads_ended() {
  local log="$build/machines/1/bin/corvane_peer.exe.log" name started ended
  for name in DesktopTracker OwnGrabber MouseHandler; do
    for _ in $(seq 150); do
      started=$(grep -c "Thread $name start\r\?$" "$log" || true)
      ended=$(grep -c "Thread $name exit\r\?$" "$log" || true)
      [ "$started" -gt 0 ] && [ "$started" = "$ended" ] && break
      sleep 0.1
    done
    same "$name ended $ended of $started" "$name ended $started of $started"
  done
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
corvane_expect bob '^session alice: show-remote '
corvane_expect bob '^session alice: state DisplayingState$'
corvane_tell alice status
corvane_expect alice '^status-line bob: state Tracking desktop changes and sending them to remote computer$'
corvane_expect alice '^status-line bob: User info/Computer name = .+'

step "the changes bob receives rebuild alice's screen exactly"
screen_reaches_bob
corvane_ask alice "pattern 12" "pattern 12" >/dev/null
screen_reaches_bob

step "alice's cursor reaches bob"
corvane_ask alice "set-cursor 50 60" "cursor set" >/dev/null
for _ in $(seq 100); do
  counts=$(corvane_ask bob tap-counts tap-counts)
  [[ "$counts" == *" mouse 50 60 "* ]] && break
  sleep 0.1
done
[[ "$counts" == *" mouse 50 60 "* && "$counts" == *" pictures 0" ]] || { echo "FAILED: $counts" >&2; exit 1; }

step "the viewer stops: alice's threads end"
corvane_tell bob stop
corvane_expect alice '^session bob: notification "Bob Example" "Remote user aborted session." red \[\]$'
corvane_expect alice '^session bob: state AvailableState$'
threads_ended

echo "sharing on two machines: passed"
