#!/usr/bin/env bash
# Two machines on this computer, alice on machine 1 and bob on machine 2, each with its own
# display, Wine prefix, simulator and peer host; the simulators are linked over loopback.
# Messages travel end to end, the machines are really apart, and a cut link and a broken link
# message are seen and survived. Everything started here stops when the script ends.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tests/machines/MachineTestSupport.sh"

link_again() {
  corvane_tell sim2 "link 127.0.0.1:${corvane_sim_port[1]}"
  corvane_expect sim1 '^link up$'
  corvane_expect sim2 '^link up$'
  corvane_expect alice '^status bob ONLINE$'
  corvane_tell alice "connect bob"
  corvane_expect alice '^connected corvane.screen bob$'
  corvane_tell alice "ping $1"
  corvane_expect alice "^received pong \"$1\" from bob"
}

# Both sides see the link go, as when a contact goes offline.
expect_link_down() {
  corvane_expect sim1 "^link down: $1"
  corvane_expect sim2 "^link down: $2"
  corvane_expect alice '^disconnected corvane bob$'
  corvane_expect alice '^disconnected corvane.screen bob$'
  corvane_expect alice '^status bob OFFLINE$'
  corvane_expect bob '^disconnected corvane.screen alice$'
  corvane_expect bob '^status alice OFFLINE$'
}

corvane_deadline 300  # ctest's own time-out (600 s) would kill the script without its clean-up

step "machines, simulators and peer hosts"
start_machines --latency 20
start_peer 1 alice alice
start_peer 2 bob bob
corvane_expect alice '^registered corvane corvane.screen$'
corvane_expect bob '^registered corvane corvane.screen$'
corvane_tell alice "connect bob"
corvane_tell bob "wait-connected"
corvane_expect alice '^connected corvane.screen bob$'
corvane_expect bob '^ready$'

step "a ping, a 1 MB message and a datagram end to end"
corvane_tell alice "ping first-contact"
corvane_expect bob '^received ping "first-contact" from alice on corvane$'
corvane_expect alice '^received pong "first-contact" from bob on corvane after'
corvane_tell alice "payload 1048576 noise"
sent=$(corvane_expect alice '^sent clipboard 1048576 bytes')
received=$(corvane_expect bob '^received clipboard 1048576 bytes' 60)
corvane_expect alice '^clipboard acknowledged from bob on corvane.screen' 60
same "$(cut -d' ' -f3-6 <<<"$received")" "$(cut -d' ' -f3-6 <<<"$sent")"  # size and checksum
corvane_tell bob "datagram through-the-link"
corvane_expect alice '^received datagram from bob on corvane'
corvane_expect bob '^received pong "through-the-link" from alice'

step "the machines are apart: screens and clipboards"
corvane_ask alice "paint ff0000" painted >/dev/null
corvane_ask bob "paint 0000ff" painted >/dev/null
same "$(corvane_ask alice "pixel 640 512" pixel)" "pixel 640 512 ff0000"
same "$(corvane_ask bob "pixel 640 512" pixel)" "pixel 640 512 0000ff"
corvane_ask alice "put-clipboard only on machine one $$" "clipboard set" >/dev/null
differ "$(corvane_ask bob show-clipboard clipboard)" "clipboard \"only on machine one $$\""

step "a cut link is seen on both machines, and linking again works"
corvane_tell sim1 cut
expect_link_down "cut on command" "closed by the other side"
link_again after-the-cut

step "a broken link message closes the link on both sides; both simulators go on"
corvane_tell sim2 "malformed length"
expect_link_down "malformed message" "closed by the other side"
link_again after-the-broken-message

step "the peer hosts end"
corvane_tell alice quit
corvane_tell bob quit
corvane_expect alice '^bye$'
corvane_expect bob '^bye$'
echo "two machines: passed"
