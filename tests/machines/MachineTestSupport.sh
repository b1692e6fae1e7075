# Sourced by the two-machine test scripts: the Wine session and machine helpers, a line that
# names the failing command, and the checks the scripts share. Expects: root (the checkout).
source "$root/scripts/lib/wine-session.sh"
source "$root/scripts/lib/machines.sh"
trap 'echo "FAILED: line $LINENO: $BASH_COMMAND" >&2' ERR

step() { echo "-- $*"; }
same() { [ "$1" = "$2" ] || { echo "FAILED: \"$1\" where \"$2\" was expected" >&2; return 1; }; }
differ() { [ "$1" != "$2" ] || { echo "FAILED: \"$1\" on both machines" >&2; return 1; }; }
