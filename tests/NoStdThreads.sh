#!/usr/bin/env bash
# Under Wine a std::thread now and then never starts: threads are the library's Thread or,
# outside the library, testing/WorkerThread (CreateThread). Fails on any std::thread,
# std::jthread or std::async (or their headers) in the sources, comments aside.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
found=$(grep -rnE --include='*.cpp' --include='*.h' \
  'std::(thread|jthread|async)\b|#include <(thread|future)>' src bmptoavi tests testing demo bench |
  grep -vE '^[^:]+:[0-9]+:\s*//')
if [ -n "$found" ]; then
  echo "use Thread (src/foundation/Thread.h) or WorkerThread (testing/WorkerThread.h) instead:" >&2
  echo "$found" >&2
  exit 1
fi
echo "no std::thread, std::jthread or std::async"
