#!/usr/bin/env bash
# screenshots.sh: builds the windows preset and the packages, then takes a PNG
# of every page of pathcaster.exe's wizard, of its two dialogs and of the
# installer's welcome page as Wine draws them on a virtual X display (Xvfb),
# into docs/screenshots/. The wizard asks DNS servers and sends mail, so it runs
# inside the sandbox, with dnsmasq naming its test address and an SMTP server
# of its own: page 102 shows a real detection, page 105 a real delivery.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly out=docs/screenshots

if [ "${1:-}" != --inside ]; then
  scripts/build.sh windows
  scripts/package.sh >/dev/null
  exec scripts/sandbox --addr 192.0.2.77/24 "$0" --inside
fi

# shellcheck source=wizard-session.sh
source scripts/wizard-session.sh
trap wizard_session_stop EXIT

# Mail settings and one recipient, so that pages 103 and 106 show them.
seed_mail_settings() {
  import_registry 32 <<'EOF_REG'
[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5]
"fromaddr"="owner@example.test"
"mailserver"="127.0.0.1"
"message"="自宅のPCへのリンクです。"

[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\Vantor Vntrlink\5.5\addrList]
"山田"="yamada@example.test"
EOF_REG
}

start_virtual_display
prepare_display_prefix
seed_mail_settings
start_test_dns
start_smtp_server
mkdir -p "$out"
# walk_wizard SUFFIX: every page and dialog of a wizard just started, into
# files whose names end in SUFFIX.
walk_wizard() {
  local suffix=$1
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
  ask "press next" >/dev/null
  ask "box 30 VNTRLINK" >/dev/null
  ask "box-press 6" >/dev/null  # Yes, send
  wait_for page 105
  wait_for "text 1024" "送信が完了しました。"
  shoot "$out/page105-sending$suffix.png"
  ask close >/dev/null
}

start_driver
start_wizard
walk_wizard ""
# The same pages on a Windows whose ANSI code page is 1252, as an English
# system's is: the texts must read the same.
LC_ALL=en_US.UTF-8 start_wizard
walk_wizard -english-system

# The installer in Japanese, on its welcome page.
installer=$(ls dist/vantor-companion-*-win64-setup.exe)
version=${installer#dist/vantor-companion-}
version=${version%-win64-setup.exe}
wine "$installer" >/dev/null 2>&1 &
wizard_children+=($!)
ask "box 30 Installer Language" >/dev/null
ask "box-press 1" >/dev/null  # OK: Japanese, this prefix's language
ask "box 30 Vantor Companion Programs $version セットアップ" >/dev/null
shoot "$out/installer-welcome.png" box-rect
