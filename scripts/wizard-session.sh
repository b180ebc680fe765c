# Sourced by the scripts that run pathcaster.exe for a person to see or for
# figures (run.sh --wizard, screenshots.sh, measure-wizard.sh), inside
# scripts/sandbox: a Wine prefix that draws (build/wineprefix-display, made on
# first use, with the product installed), an X display (the caller's, or a
# virtual one), a DNS server that names the sandbox's test host, and
# wizdriver.exe to walk the wizard's pages. The caller sets a trap that calls
# wizard_session_stop.

wizard_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly wizard_bin="$wizard_repo/build/windows/bin"
readonly wizard_test_address=192.0.2.77 wizard_test_host=host77.example.test
wizard_state=$(mktemp -d)
wizard_children=()

wizard_die() { echo "$(basename "$0"): $*" >&2; exit 1; }

wizard_session_stop() {
  ! declare -F wine_env_stop >/dev/null || wine_env_stop
  local pid
  for pid in "${wizard_children[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$wizard_state"
}

# A virtual X display of our own, for a machine without one.
start_virtual_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$wizard_state/display" 2>/dev/null &
  wizard_children+=($!)
  local i
  for i in $(seq 100); do
    [ -s "$wizard_state/display" ] && break
    sleep 0.1
  done
  [ -s "$wizard_state/display" ] || wizard_die "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$wizard_state/display")"
}

# Imports registry lines (the text of a .reg file, without its header) into
# the prefix: through a UTF-16 file, since Wine mangles non-ASCII arguments.
# An argument /reg:32 writes the 32-bit view.
import_registry() {
  local reg="$wizard_state/import.reg"
  printf '\xff\xfe' >"$reg"
  { printf 'Windows Registry Editor Version 5.00\n\n'; cat; } | sed 's/$/\r/' |
    iconv -f UTF-8 -t UTF-16LE >>"$reg"
  wine reg import "$(winepath -w "$reg")" "$@" >/dev/null 2>&1
}

# Mail settings and one recipient, so that the mail pages show them and a
# send reaches the SMTP server on 127.0.0.1: in the 32-bit view, where the
# wizard keeps its settings (as the 32-bit product does on 64-bit Windows).
seed_mail_settings() {
  import_registry /reg:32 <<'EOF_REG'
[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5]
"fromaddr"="owner@example.test"
"mailserver"="127.0.0.1"
"message"="自宅のPCへのリンクです。"

[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5\addrList]
"山田"="yamada@example.test"
EOF_REG
}

# The tests' prefix draws nothing (its graphics driver is "null"); this one
# draws every window inside one virtual desktop, which gives them their frames
# without a window manager. The product counts as installed there.
prepare_display_prefix() {
  export WINEPREFIX="$wizard_repo/build/wineprefix-display"
  # shellcheck source=wine-env.sh
  source "$wizard_repo/scripts/wine-env.sh"
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null
  # The dialogs ask for "ＭＳ Ｐゴシック". IPA Gothic stands in: the wider
  # Latin letters of IPA P Gothic would give the pages larger dialog units
  # than the sheet was sized with.
  import_registry <<'EOF_REG'
[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAGothic"
EOF_REG
  import_registry /reg:32 <<<'[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor]'

  # Wine reads its own fonts (fonts-wine) from the prefix's Fonts folder
  # only: Marlett draws the caption buttons, Tahoma the captions.
  cp /usr/share/wine/fonts/{marlett,tahoma,tahomabd}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  wine_env_stop
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1
}

# dnsmasq on 127.0.0.1:53 (the sandbox's resolver) naming the test address.
start_test_dns() {
  dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts --no-poll \
    --user=root --pid-file= --listen-address=127.0.0.1 --bind-interfaces --port=53 \
    --ptr-record=77.2.0.192.in-addr.arpa,$wizard_test_host --local=/2.0.192.in-addr.arpa/ \
    2>/dev/null &
  wizard_children+=($!)
}

# aiosmtpd on 127.0.0.1:25, with its options (a handler...); what it prints
# goes to $wizard_state/smtp.log.
start_smtp_server() {
  /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:25 "$@" >"$wizard_state/smtp.log" 2>/dev/null &
  wizard_children+=($!)
  await_smtp_server
}

await_smtp_server() {
  local i
  for i in $(seq 100); do
    grep -q ' 0100007F:0019 00000000:0000 0A' /proc/net/tcp && return 0
    sleep 0.1
  done
  wizard_die "the SMTP server did not listen"
}

# The demo's SMTP server on 127.0.0.1:25, printing each mail it receives,
# decoded, on this terminal.
start_demo_smtp_server() {
  "$wizard_repo/scripts/demo-smtp-server" &
  wizard_children+=($!)
  await_smtp_server
}

start_wizard() {
  wine "$wizard_bin/pathcaster.exe" >/dev/null 2>&1 &
  wizard_pid=$!
  wizard_children+=($wizard_pid)
}

start_driver() {
  coproc driver { wine "$wizard_bin/wizdriver.exe" 2>/dev/null; }
  wizard_children+=($driver_PID)
}

# One driver command; prints the result of an "ok", dies on anything else.
ask() {
  printf '%s\n' "$1" >&"${driver[1]}"
  local reply
  IFS= read -r -t 60 reply <&"${driver[0]}" || wizard_die "no answer to '$1'"
  [ "${reply%% *}" = ok ] || wizard_die "'$1': $reply"
  reply=${reply#ok}
  printf '%s' "${reply# }"
}

# Polls a driver query every 20 ms until it gives the expected text, at most 30 s.
wait_for() {
  local query=$1 expected=$2 i
  for i in $(seq 1500); do
    [ "$(ask "$query")" = "$expected" ] && return 0
    sleep 0.02
  done
  wizard_die "'$query' never gave '$expected'"
}

next_page() {
  ask "press next" >/dev/null
  wait_for page "$1"
}

readonly detection_done="検出が完了しました。”次へ”をクリックしてください。"

# A PNG of the sheet's window, or of the window whose rectangle the driver
# command RECT gives (box-rect: the box). The virtual desktop lies at the
# origin of the X screen, so the window's rectangle is where to cut. Wine
# hands a window's drawing to X a moment after the window painted it:
# capture until two captures agree (a blinking caret aside).
shoot() {
  local file=$1 rect=${2:-rect} left top right bottom i changed
  read -r left top right bottom <<<"$(ask "$rect")"
  local crop="$((right - left))x$((bottom - top))+$left+$top"
  import -window root -crop "$crop" +repage "$wizard_state/last.png"
  for i in $(seq 20); do
    sleep 0.25
    import -window root -crop "$crop" +repage "$wizard_state/next.png"
    changed=$(compare -metric AE "$wizard_state/last.png" "$wizard_state/next.png" null: 2>&1 || true)
    mv "$wizard_state/next.png" "$wizard_state/last.png"
    [ "${changed%% *}" -lt 40 ] 2>/dev/null && break
  done
  cp "$wizard_state/last.png" "$file"
  echo "$file"
}

# walk_and_shoot FOLDER [SUFFIX]: from the start of a wizard just opened to
# the mail settings page, saving every page and dialog on the way into
# FOLDER, in files whose names end in SUFFIX.
walk_and_shoot() {
  local out=$1 suffix=${2:-}
  mkdir -p "$out"
  ask "sheet 30 VNTRLINK" >/dev/null
  wait_for page 101
  shoot "$out/page101-welcome$suffix.png"
  next_page 102
  wait_for "text 1009" "$detection_done"
  shoot "$out/page102-detection$suffix.png"
  next_page 103
  shoot "$out/page103-host-name$suffix.png"
  next_page 106
  shoot "$out/page106-mail-settings$suffix.png"
  ask "post 1016" >/dev/null  # Add
  ask "box 30 宛先アドレスの追加" >/dev/null
  ask "box-type 1019 鈴木" >/dev/null
  ask "box-type 1020 suzuki@example.test" >/dev/null
  shoot "$out/dialog108-recipient$suffix.png" box-rect
  ask "box-press 2" >/dev/null  # Cancel
  wait_for "count 宛先アドレスの追加" 0
  ask "post 1049" >/dev/null  # the mail server's settings
  ask "box 30 送信サーバーの詳細設定" >/dev/null
  ask "box-click 1042" >/dev/null  # STARTTLS
  ask "box-click 1044" >/dev/null  # SMTP authentication
  ask "box-type 1045 owner@example.test" >/dev/null
  ask "box-type 1046 password" >/dev/null
  shoot "$out/dialog109-mail-server$suffix.png" box-rect
  ask "box-press 2" >/dev/null  # Cancel
  wait_for "count 送信サーバーの詳細設定" 0
}

# send_and_shoot FOLDER [SUFFIX]: from the mail settings, sends, and saves
# the sending page into FOLDER.
send_and_shoot() {
  ask "press next" >/dev/null
  ask "box 30 VNTRLINK" >/dev/null
  ask "box-press 6" >/dev/null  # Yes, send
  wait_for page 105
  wait_for "text 1024" "送信が完了しました。"
  shoot "$1/page105-sending${2:-}.png"
}
