#!/usr/bin/env bash
# run.sh [--sandbox] [--wine] [PORT]   serves the mapper in the foreground
# run.sh [--wine] -stop                 stops the mapper serving on this machine
# run.sh --wizard [--real-network]      runs the link-mail wizard (scripts/wizard.sh)
#
# Installs what is missing, builds, and runs the native mapper on this
# machine's network, on port 23000 or PORT, where a real front end reaches it.
# Ctrl-C stops it the way -stop does: the mapper closes its sessions and ends.
#   --wine     runs vntrmap.exe under Wine instead of the native build
#   --sandbox  a demo inside scripts/sandbox, a private network namespace with
#              loopback only: the mapper and a real telnet server with a
#              throw-away user to log in to; prints how to reach them.
#
# One mapper serves a machine: every mapper reads the one stop request of the
# shared segment, so stopping one would stop them all. Before it starts
# anything, run.sh refuses when a mapper already serves or the port is taken,
# and leaves the running one alone. The mapper runs in $VNTR_ROOT (build/run
# unless set): its log mapper.log lands there, and drive_c/vntr.txt there
# switches the log on.
set -euo pipefail
origin=$PWD
cd "$(dirname "$0")/.."
repo=$PWD

readonly default_port=23000
# The native mapper's segment: in VNTR_SEGMENT_DIR when that is set (the
# Debian service keeps it in its runtime folder), else in /dev/shm.
readonly segment=${VNTR_SEGMENT_DIR:-/dev/shm}/vantor_shared_segment
# A Wine mapper needs a few seconds to start; a stopped one ends within about
# two (its one-second waits, then the bounded wait for its sessions).
readonly serve_limit_s=60 stop_limit_s=30

if [ "${1:-}" = --wizard ]; then
  shift
  scripts/install-deps.sh native windows
  scripts/build.sh windows
  exec scripts/wizard.sh "$@"
fi

say() { printf '%s\n' "$*"; }

# The port a mapper serves for its argument, converted as the mapper does.
port_of() {
  [ -n "$1" ] || { echo "$default_port"; return; }
  [[ $1 =~ ^[[:space:]]*\+?0*([0-9]{1,5}) ]] && echo "${BASH_REMATCH[1]:-0}" || echo 0
}

# Whether process $1 maps the file whose "MAJOR MINOR INODE" is $2.
maps_file() {
  local device inode
  while read -r _ _ _ device inode _; do
    [ "$((16#${device%:*})) $((16#${device#*:})) $inode" = "$2" ] && return 0
  done <"/proc/$1/maps" 2>/dev/null
  return 1
}

# The mappers serving on this machine, one "KIND PID PORT" line each: a
# native one maps this machine's shared segment; a Wine one (whose segment
# lives in its wineserver) runs in this network namespace.
serving_mappers() {
  local own_net segment_id="" cmdline pid argv
  own_net=$(readlink /proc/self/ns/net)
  [ ! -e "$segment" ] || segment_id=$(stat -L -c '%Hd %Ld %i' "$segment")
  for cmdline in /proc/[0-9]*/cmdline; do
    pid=${cmdline#/proc/}
    pid=${pid%/cmdline}
    { mapfile -d '' -t argv <"$cmdline"; } 2>/dev/null || continue
    [ ${#argv[@]} -gt 0 ] && [ "${argv[1]:-}" != -stop ] || continue
    case "${argv[0]##*[/\\]}" in
      vntrmap)
        [ -n "$segment_id" ] && maps_file "$pid" "$segment_id" &&
          echo "native $pid $(port_of "${argv[1]:-}")" ;;
      vntrmap.exe)
        [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" = "$own_net" ] &&
          echo "wine $pid $(port_of "${argv[1]:-}")" ;;
    esac
  done
  return 0
}

# A segment of another user belongs to a mapper that serves as that user
# (the Debian service, say); ours could not open it.
foreign_segment_owner() {
  [ -e "$segment" ] && [ ! -O "$segment" ] && stat -c %U "$segment"
}

describe() {  # KIND PID PORT
  if [ "$1" = wine ]; then
    echo "a mapper under Wine (process $2) serves port $3"
  else
    echo "a mapper (process $2) serves port $3"
  fi
}

refuse_second_mapper() {
  local found owner
  found=$(serving_mappers | head -n 1)
  if [ -n "$found" ]; then
    # shellcheck disable=SC2086
    say "run.sh: $(describe $found) on this machine. One mapper serves a machine: all" \
      "read one stop request, so a second would be stopped with the first." \
      "Use that one, or end it first with scripts/run.sh$([ "${found%% *}" = native ] ||
        echo " --wine") -stop." >&2
    exit 1
  fi
  if owner=$(foreign_segment_owner); then
    say "run.sh: the shared segment $segment belongs to the user $owner, whose mapper" \
      "(the vntrmap service?) serves this machine; one mapper serves a machine. Stop it" \
      "as that user (systemctl stop vntrmap) first." >&2
    exit 1
  fi
}

refuse_taken_port() {
  [ -n "$(ss -Hltn "sport = :$1")" ] || return 0
  say "run.sh: port $1 is taken on this machine ('ss -ltnp sport = :$1' shows by" \
    "what); choose another: scripts/run.sh PORT (5000-65535)." >&2
  exit 1
}

# Whether the process $1 has ended (a zombie has: it waits only to be reaped).
ended() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  stat=${stat##*) }
  [ "${stat%% *}" = Z ]
}

stop_serving_mapper() {
  local kind=$1 found pid port waited owner
  found=$(serving_mappers | grep "^$kind " | head -n 1 || true)
  if [ -z "$found" ]; then
    if [ "$kind" = native ] && owner=$(foreign_segment_owner); then
      say "The mapper of this machine serves as the user $owner; only that user can stop" \
        "it: runuser -u $owner -- vntrmap -stop (the service: systemctl stop vntrmap)."
      exit 1
    fi
    found=$(serving_mappers | head -n 1)
    # shellcheck disable=SC2086  # describe takes the three words
    say "No $([ "$kind" = wine ] && echo "mapper under Wine" || echo "native mapper")" \
      "was running on this machine${found:+; $(describe $found)}; nothing was stopped."
    exit 0
  fi
  read -r kind pid port <<<"$found"
  say "A mapper was running (process $pid, port $port); asked it to stop."
  "${stopper[@]}" >/dev/null 2>&1 || true
  for ((waited = 0; waited < stop_limit_s * 10; waited++)); do
    ended "$pid" && { say "It has ended."; exit 0; }
    sleep 0.1
  done
  say "It has not ended within $stop_limit_s s." >&2
  exit 1
}

# The first process below $1 in another network namespace (the sandbox's),
# or "self" when there is none (run.sh already runs inside a sandbox).
namespace_process() {
  local own queue=("$1") pid child
  own=$(readlink /proc/self/ns/net)
  while [ ${#queue[@]} -gt 0 ]; do
    pid=${queue[0]}
    queue=("${queue[@]:1}")
    if [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" != "$own" ]; then
      echo "$pid"
      return
    fi
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do queue+=("$child"); done
  done
  echo self
}

# Whether a socket of process $1's network namespace listens on port $2.
listens_in() {
  grep -qE "^ *[0-9]+: [0-9A-F]{8}:$(printf %04X "$2") 0{8}:0000 0A " "/proc/$1/net/tcp" \
    2>/dev/null
}

# Waits until the mapper $1 (and its sandbox) serves port $2; prints how to
# reach it. False when it ended first or did not serve in time.
announce_when_serving() {
  local mapper=$1 port=$2 inside=self waited console=scripts/frontend-console
  for ((waited = 0; ; waited++)); do
    ! ended "$mapper" || return 1
    [ "$sandbox" = 0 ] || inside=$(namespace_process "$mapper")
    listens_in "$inside" "$port" && break
    if [ "$waited" -ge $((serve_limit_s * 10)) ]; then
      say "run.sh: the mapper does not serve port $port after $serve_limit_s s." >&2
      return 1
    fi
    sleep 0.1
  done
  [ "$origin" = "$repo" ] || console=$repo/$console
  [ "$port" = "$default_port" ] || console="$console --port $port"
  echo
  if [ "$sandbox" = 0 ]; then
    say "The mapper serves port $port on this machine's network. Ctrl-C here, or" \
      "scripts/run.sh$wine_flag -stop, ends it."
    return 0
  fi
  local way_in=""
  if [ "$inside" != self ]; then
    way_in="nsenter --net=/proc/$inside/ns/net "
    # Without root the sandbox is a user namespace of its own, to be entered too.
    [ "$(id -u)" = 0 ] ||
      way_in="nsenter --user=/proc/$inside/ns/user --preserve-credentials ${way_in#nsenter }"
  fi
  say "The demo mapper serves port $port inside its sandbox, a network of its own," \
    "beside the telnet server above. From another terminal, log in through it:"
  say "  $way_in$console"
  say "(telnet host 127.0.0.1, service 23, and the user id and password above)."
  if [ "$wine" = 1 ]; then
    say "Ctrl-C here ends the demo."
  else
    say "Ctrl-C here, or scripts/run.sh -stop, ends the demo."
  fi
}

# Inside the sandbox: the demo's telnet server, then the mapper.
if [ "${1:-}" = --demo-inside ]; then
  shift
  wine=$1
  shift
  # The server tells how to log in once it serves, and then nothing more.
  exec 3< <(scripts/demo-telnet-server)
  IFS= read -r -t "$serve_limit_s" login <&3 || exit 1
  say "$login"
  cd "$VNTR_ROOT"
  if [ "$wine" = 1 ]; then
    # shellcheck source=wine-env.sh
    source "$repo/scripts/wine-env.sh"
    exec wine "$repo/build/windows/bin/vntrmap.exe" "$@"
  fi
  exec "$repo/build/native/bin/vntrmap" "$@"
fi

sandbox=0
wine=0
wine_flag=""
while [ $# -gt 0 ]; do
  case "$1" in
    --sandbox) sandbox=1; shift ;;
    --wine) wine=1; wine_flag=" --wine"; shift ;;
    *) break ;;
  esac
done

if [ "$wine" = 1 ]; then
  scripts/install-deps.sh native windows
  scripts/build.sh windows
  # The wineserver is left running on the way out: a -stop run shares it
  # with the serving mapper, whose segment lives there.
  runner=(bash -c 'source "$0/scripts/wine-env.sh"
                   exec wine "$0/build/windows/bin/vntrmap.exe" "$@"' "$repo")
else
  scripts/install-deps.sh native
  scripts/build.sh native
  runner=("$repo/build/native/bin/vntrmap")
fi
stopper=("${runner[@]}" -stop)

case "${1:-}" in
  -stop) stop_serving_mapper "$([ "$wine" = 1 ] && echo wine || echo native)" ;;
  -*) echo "usage: run.sh [--sandbox] [--wine] [PORT] | run.sh [--wine] -stop" >&2; exit 2 ;;
esac

# A Wine mapper inside the sandbox has a wineserver, and so a segment, of
# its own: nothing outside can stop it, nor it another.
[ "$sandbox" = 1 ] && [ "$wine" = 1 ] || refuse_second_mapper
[ "$sandbox" = 1 ] || refuse_taken_port "$(port_of "${1:-}")"

export VNTR_ROOT=${VNTR_ROOT:-$repo/build/run}
mkdir -p "$VNTR_ROOT/drive_c"

if [ "$sandbox" = 1 ]; then
  # A network of its own even inside another sandbox: the demo's telnet
  # server takes port 23 there.
  runner=(scripts/sandbox --nested "$repo/scripts/run.sh" --demo-inside "$wine")
  # Ctrl-C cannot reach the sandbox's Wine through its segment: it ends the
  # sandbox, and with it everything inside.
  [ "$wine" = 0 ] || stopper=(kill -TERM)
else
  runner=(env -C "$VNTR_ROOT" "${runner[@]}")
fi

# The mapper runs in the background, where Ctrl-C does not reach it; this
# shell turns Ctrl-C into a stop request, so the sessions end cleanly and the
# shared segment no longer says that a mapper runs.
"${runner[@]}" "$@" &
mapper=$!
[ "$sandbox" = 0 ] || [ "$wine" = 0 ] || stopper+=("$mapper")
trap '"${stopper[@]}" >/dev/null 2>&1 || true' INT TERM
announce_when_serving "$mapper" "$(port_of "${1:-}")" || true
while :; do
  wait "$mapper" && exit 0 || status=$?
  kill -0 "$mapper" 2>/dev/null || exit "$status"
done
