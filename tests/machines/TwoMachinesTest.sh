#!/usr/bin/env bash
# alice on machine 1, bob on 2, simulators linked: messages end to end, machines apart, links cut.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tests/machines/MachineTestSupport.sh"

# Both sides see the link go (the first machine for the reason given), as when a contact goes
# offline, and linking again works.
link_down_and_up() {
  corvane_expect sim1 "^link down: $1"
  corvane_expect sim2 "^link down: closed by the other side"
  expect_all alice '^disconnected corvane bob$' '^disconnected corvane.screen bob$' '^status bob OFFLINE$'
  expect_all bob '^disconnected corvane.screen alice$' '^status alice OFFLINE$'
  corvane_tell sim2 "link 127.0.0.1:${corvane_sim_port[1]}"
  corvane_expect sim1 '^link up$'
  corvane_expect sim2 '^link up$'
  corvane_expect alice '^status bob ONLINE$'
  corvane_tell alice "connect bob"
  corvane_expect alice '^connected corvane.screen bob$'
  corvane_tell alice "ping $2"
  corvane_expect alice "^received pong \"$2\" from bob"
}

corvane_deadline 300  # ctest's own time-out (600 s) would kill the script without its clean-up

step "machines, simulators and peer hosts"
start_machines --latency 20
start_peer 1 alice alice
start_peer 2 bob bob
for peer in alice bob; do corvane_expect $peer '^registered corvane corvane.screen$'; done
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
[ "$(corvane_ask bob show-clipboard clipboard)" != "clipboard \"only on machine one $$\"" ]

step "a cut link is seen on both machines, and linking again works"
corvane_tell sim1 cut
link_down_and_up "cut on command" after-the-cut

step "a broken link message closes the link on both sides; both simulators go on"
corvane_tell sim2 "malformed length"
link_down_and_up "malformed message" after-the-broken-message

step "the peer hosts end"
for peer in alice bob; do corvane_tell $peer quit; corvane_expect $peer '^bye$'; done
echo "two machines: passed"
