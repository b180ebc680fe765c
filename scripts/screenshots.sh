#!/usr/bin/env bash
# screenshots.sh: builds the windows preset, then takes a PNG of every page of
# pathcaster.exe's wizard as Wine draws it on a virtual X display (Xvfb), into
# docs/screenshots/. The wizard asks DNS servers and sends mail, so it runs
# inside the sandbox, with dnsmasq naming its test address and an SMTP server
# of its own: page 102 shows a real detection, page 105 a real delivery.
#
# The prefix build/wineprefix-display is made on first use: the tests' prefix
# draws nothing (its graphics driver is "null").
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
readonly test_address=192.0.2.77 test_host=host77.example.test
readonly out=docs/screenshots bin=build/windows/bin

if [ "${1:-}" != --inside ]; then
  scripts/build.sh windows
  exec scripts/sandbox --addr "$test_address/24" "$0" --inside
fi

die() { echo "screenshots: $*" >&2; exit 1; }

state=$(mktemp -d)
children=()
finish() {
  ! declare -F wine_env_stop >/dev/null || wine_env_stop
  for pid in "${children[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$state"
}
trap finish EXIT

start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" 2>/dev/null &
  children+=($!)
  local i
  for i in $(seq 100); do
    [ -s "$state/display" ] && break
    sleep 0.1
  done
  [ -s "$state/display" ] || die "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$state/display")"
}

# The registry as a user's would be: the product installed, the mail settings
# and one recipient stored, so that every page can be reached and the last
# one shows a real delivery. The dialogs ask for "ＭＳ Ｐゴシック"; IPA Gothic
# stands in for it. Not IPA P Gothic: its wider Latin letters give the pages
# larger dialog units than the sheet was sized with, and their right side is
# cut off. A UTF-16 .reg file, since Wine mangles non-ASCII arguments.
seed_registry() {
  local reg="$state/seed.reg"
  printf '\xff\xfe' >"$reg"
  sed 's/$/\r/' <<'EOF_REG' | iconv -f UTF-8 -t UTF-16LE >>"$reg"
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAGothic"

[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor]

[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5]
"fromaddr"="owner@example.test"
"mailserver"="127.0.0.1"
"message"="自宅のPCへのリンクです。"

[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5\addrList]
"山田"="yamada@example.test"
EOF_REG
  wine reg import "$(winepath -w "$reg")" >/dev/null
}

# wine-env.sh makes the prefix on first use with the null driver; this one
# draws instead, every window inside one virtual desktop (which gives them
# their frames without a window manager).
prepare_prefix() {
  export WINEPREFIX="$repo/build/wineprefix-display"
  # shellcheck source=wine-env.sh
  source scripts/wine-env.sh
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null
  seed_registry
  # Wine reads its own fonts (fonts-wine) from the prefix's Fonts folder
  # only: Marlett draws the caption buttons, Tahoma the captions.
  cp /usr/share/wine/fonts/{marlett,tahoma,tahomabd}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  wine_env_stop
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1
}

# The peers of the wizard inside the sandbox: dnsmasq names the test address,
# an SMTP server takes the mail of the last page.
start_peers() {
  dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts --no-poll \
    --user=root --pid-file= --listen-address=127.0.0.1 --bind-interfaces --port=53 \
    --ptr-record=77.2.0.192.in-addr.arpa,$test_host --local=/2.0.192.in-addr.arpa/ &
  children+=($!)
  /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:25 >/dev/null &
  children+=($!)
  local i
  for i in $(seq 100); do
    grep -q ' 0100007F:0019 00000000:0000 0A' /proc/net/tcp && return 0
    sleep 0.1
  done
  die "the SMTP server did not listen"
}

# One wizdriver.exe for the whole walk; ask prints the result of an "ok".
ask() {
  printf '%s\n' "$1" >&"${driver[1]}"
  local reply
  IFS= read -r -t 60 reply <&"${driver[0]}" || die "no answer to '$1'"
  [ "${reply%% *}" = ok ] || die "'$1': $reply"
  reply=${reply#ok}
  printf '%s' "${reply# }"
}

# Polls a driver query until it gives the expected text, for at most 30 s.
wait_for() {
  local query=$1 expected=$2 i
  for i in $(seq 300); do
    [ "$(ask "$query")" = "$expected" ] && return 0
    sleep 0.1
  done
  die "'$query' never gave '$expected'"
}

# The virtual desktop lies at the origin of the X screen, so the sheet's
# window rectangle is where to cut. Wine hands a window's drawing to X a
# moment after the window painted it: capture until two captures agree (a
# blinking caret aside).
shoot() {
  local name=$1 left top right bottom i
  read -r left top right bottom <<<"$(ask rect)"
  local crop="$((right - left))x$((bottom - top))+$left+$top"
  import -window root -crop "$crop" +repage "$state/last.png"
  for i in $(seq 20); do
    sleep 0.25
    import -window root -crop "$crop" +repage "$state/next.png"
    local changed
    changed=$(compare -metric AE "$state/last.png" "$state/next.png" null: 2>&1 || true)
    mv "$state/next.png" "$state/last.png"
    [ "${changed%% *}" -lt 40 ] 2>/dev/null && break
  done
  cp "$state/last.png" "$out/$name.png"
  echo "$out/$name.png"
}

next_page() {
  ask "press next" >/dev/null
  wait_for page "$1"
}

start_display
prepare_prefix
start_peers
mkdir -p "$out"

wine "$bin/pathcaster.exe" >/dev/null 2>&1 &
children+=($!)
coproc driver { wine "$bin/wizdriver.exe" 2>/dev/null; }

ask "sheet 30 VNTRLINK" >/dev/null
wait_for page 101
shoot page101-welcome
next_page 102
wait_for "text 1009" "検出が完了しました。”次へ”をクリックしてください。"
shoot page102-detection
next_page 103
shoot page103-host-name
next_page 106
shoot page106-mail-settings
ask "press next" >/dev/null
ask "box 30 VNTRLINK" >/dev/null
ask "box-press 6" >/dev/null  # Yes, send
wait_for page 105
wait_for "text 1024" "送信が完了しました。"
shoot page105-sending
ask close >/dev/null
