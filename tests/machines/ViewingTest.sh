#!/usr/bin/env bash
# Bob views alice's desktop: at each quality bob's picture matches alice's screen (exactly at 24
# bits, raw or JPEG 75 once still; within the rounding at 16 and 8 bits), and a moved window shows.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tests/machines/MachineTestSupport.sh"

pictures=$build/viewing-test
corvane_deadline 300
corvane_build --target corvane_peer corvane_scene skypesim_exe >/dev/null
mkdir -p "$pictures"
start_machines
corvane_spawn 1 scene corvane_scene.exe
corvane_expect scene '^scene ' 30 >/dev/null
corvane_ask scene hold holding >/dev/null
start_session_peers
corvane_ask alice "auto-accept bob" "auto-accept" >/dev/null

# quality | the largest difference of a component | marker colour. 5-6-5 steps are 8 and 4 (with
# their bias, at most 7 off); 3-3-2 blue has levels 85 apart, and its bias of 15 leaves 70.
for row in "24|0|e03020" "24 jpeg 75|0|2040e0" "16|7|20c040" "8|70|f0c020"; do
  IFS='|' read -r quality largest colour <<<"$row"
  step "bob views alice at $quality"
  corvane_ask bob "view-watch alice" "watching" >/dev/null
  corvane_ask bob "view-quality $quality" "quality" >/dev/null
  corvane_tell bob request
  corvane_expect bob '^session alice: state DisplayingState$' >/dev/null
  corvane_tell bob "view-colour 128 128 $colour 20"
  corvane_ask scene "mark $colour" "marked" >/dev/null
  seen=$(corvane_expect bob '^(view-colour|error)' 30) && [[ $seen != error* ]] ||
    { echo "FAILED: bob's picture did not show alice's marker" >&2; exit 1; }
  corvane_ask bob "view-quiet 1500" "view quiet" 40 >/dev/null
  name=$(tr ' ' '-' <<<"$quality")
  corvane_ask scene "shot Z:$pictures/alice-$name.png" "shot" >/dev/null
  corvane_ask bob "save Z:$pictures/bob-$name.png" "saved" >/dev/null
  result=$(corvane_ask scene "psnr Z:$pictures/alice-$name.png Z:$pictures/bob-$name.png" "psnr")
  echo "$quality: $result"
  awk -v r="$result" -v l="$largest" 'BEGIN { n = split(r, w, " "); exit !(w[n] + 0 <= l) }'  # "... largest difference N"
  if [ "$quality" = 24 ]; then
    step "alice's window moves; bob's picture shows it at its new place"
    corvane_tell bob "view-colour 448 548 $colour 20"
    corvane_ask scene "move 400 500" "moved" >/dev/null
    corvane_expect bob '^view-colour ' 30 >/dev/null
  fi
  corvane_tell bob stop
  corvane_expect bob '^session alice: state AvailableState$' >/dev/null
  corvane_expect alice '^session bob: state AvailableState$' >/dev/null
  corvane_ask scene "move 80 80" "moved" >/dev/null
done
echo "viewing on two machines: passed"
