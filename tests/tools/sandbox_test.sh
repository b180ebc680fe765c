#!/usr/bin/env bash
# The sandbox's promises that keep tests off the machine's network and leave
# nothing behind: only loopback and the test host's address, no route out,
# the resolver on 127.0.0.1, the fixed host name, private TMPDIR, the
# command's exit status, and no process left once the command has ended.
set -uo pipefail
sandbox=$(dirname "$0")/../../scripts/sandbox
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}

inside=$("$sandbox" --addr 192.0.2.77/24 bash -c '
  echo "host=$(hostname)"
  echo "resolver=$(grep -v ^options /etc/resolv.conf | tr "\n" " ")"
  echo "routes=$(ip -4 route show | cut -d" " -f1 | sort | tr "\n" " ")"
  echo "addresses=$(ip -4 -o addr show | awk "{print \$4}" | sort | tr "\n" " ")"
  echo "tmpdir=$(stat -f -c %T "$TMPDIR")"
  sleep 600 & echo "left=$!"
  exit 7')
status=$?
field() { sed -n "s/^$1=//p" <<<"$inside"; }
check "exit status passed through" 7 "$status"
check "fixed host name" testhost "$(field host)"
check "resolver on loopback only" "nameserver 127.0.0.1 " "$(field resolver)"
check "no route beyond the test network" "192.0.2.0/24 " "$(field routes)"
check "loopback and the test address only" "127.0.0.1/8 192.0.2.77/24 " "$(field addresses)"
check "TMPDIR of its own" tmpfs "$(field tmpdir)"
check "nothing left running" "" "$(pgrep -f '^sleep 600$')"

echo "$((7 - failures)) passed, ${failures} failed"
[ "$failures" -eq 0 ]
