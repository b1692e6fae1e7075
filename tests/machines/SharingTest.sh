#!/usr/bin/env bash
# Sharing end to end on two machines: bob views alice's desktop through the sessions. A tap
# beside bob's session rebuilds alice's screen from the raw changes (24 bits, no JPEG) and must
# match it exactly; bob's mouse moves alice's cursor and alice's cursor reaches bob; clipboards
# pass both ways; a stop from either side ends alice's tracker, grabber and mouse threads.
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
  corvane_tell alice screen-sum
  local sum
  sum=$(corvane_expect alice '^screen-sum ' | cut -d' ' -f3)
  corvane_tell bob "tap-screen $sum 60"
  same "$(corvane_expect bob '^tap-screen ' 70)" "tap-screen $sum"
}

start_sharing() {
  corvane_tell bob request
  corvane_expect alice '^session bob: notification "Bob Example" "User wants to see your desktop"'
  corvane_tell alice accept
  corvane_expect alice '^session bob: state TrackingState$'
  corvane_expect bob '^session alice: state DisplayingState$'
}

corvane_deadline 400

step "two machines with session hosts; bob views at 24 bits without JPEG"
corvane_machines_start 1 2
corvane_start_simulator 1 --listen 0 \
  --account alice "Alice Example" --friends bob --discover Corvane.alice.Discover --attach Corvane.alice.Attach
corvane_start_simulator 2 --link "127.0.0.1:${corvane_sim_port[1]}" \
  --account bob "Bob Example" --discover Corvane.bob.Discover --attach Corvane.bob.Attach
corvane_expect sim1 '^link up$'
corvane_expect sim2 '^link up$'
rm -f "$build/machines/1/bin/corvane_peer.exe.log"
corvane_spawn 1 alice corvane_peer.exe --sessions --discover Corvane.alice.Discover --attach Corvane.alice.Attach
corvane_spawn 2 bob corvane_peer.exe --sessions --discover Corvane.bob.Discover --attach Corvane.bob.Attach
corvane_tell alice "pattern 7"
corvane_expect alice '^pattern 7$'
corvane_tell alice attach
corvane_tell bob attach
corvane_expect alice '^session bob: state AvailableState$' 60
corvane_expect bob '^session alice: state AvailableState$' 60
corvane_tell bob "quality 24 raw"
corvane_expect bob '^quality 24 raw$'
corvane_tell bob tap
corvane_expect bob '^tap alice$'
start_sharing

step "the changes bob receives rebuild alice's screen exactly"
screen_reaches_bob
corvane_tell alice "pattern 12"
corvane_expect alice '^pattern 12$'
screen_reaches_bob

step "bob's mouse moves alice's cursor; alice's cursor reaches bob"
corvane_tell bob "send-mouse 321 654"
corvane_expect bob '^mouse sent 321 654$'
corvane_tell alice "cursor 321 654"
same "$(corvane_expect alice '^cursor ')" "cursor 321 654"
corvane_tell alice "set-cursor 50 60"
corvane_expect alice '^cursor set$'
for _ in $(seq 100); do
  corvane_tell bob tap-counts
  counts=$(corvane_expect bob '^tap-counts ')
  [[ "$counts" == *" mouse 50 60 "* ]] && break
  sleep 0.1
done
[[ "$counts" == *" mouse 50 60 "* ]] || { echo "FAILED: $counts" >&2; exit 1; }
[[ "$counts" == *" pictures 0" ]] || { echo "FAILED: pictures in $counts" >&2; exit 1; }

step "clipboards pass both ways"
corvane_tell bob "put-clipboard from bob $$"
corvane_expect bob '^clipboard set$'
corvane_tell bob push-clipboard
corvane_expect bob '^clipboard pushed '
corvane_tell alice show-clipboard
same "$(corvane_expect alice '^clipboard ')" "clipboard \"from bob $$\""
corvane_tell alice "put-clipboard from alice $$"
corvane_expect alice '^clipboard set$'
corvane_tell bob pull-clipboard
corvane_expect bob '^clipboard pulled '
corvane_tell bob show-clipboard
same "$(corvane_expect bob '^clipboard ')" "clipboard \"from alice $$\""

step "the viewer stops: alice's threads end"
corvane_tell bob stop
corvane_expect alice '^session bob: notification "Bob Example" "Remote user aborted session." red \[\]$'
corvane_expect alice '^session bob: state AvailableState$'
threads_ended

step "the sharer stops: her threads end again"
start_sharing
screen_reaches_bob
corvane_tell alice stop
corvane_expect alice '^session bob: state AvailableState$'
corvane_expect bob '^session alice: notification "Alice Example" "Remote user aborted session." red \[\]$'
threads_ended

corvane_tell alice quit
corvane_tell bob quit
corvane_expect alice '^bye$'
corvane_expect bob '^bye$'
echo "sharing on two machines: passed"
