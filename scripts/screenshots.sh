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

start_virtual_display
prepare_display_prefix
seed_mail_settings
start_test_dns
start_smtp_server
start_driver
start_wizard
walk_and_shoot "$out"
send_and_shoot "$out"
ask close >/dev/null
# The same pages on a Windows whose ANSI code page is 1252, as an English
# system's is: the texts must read the same.
LC_ALL=en_US.UTF-8 start_wizard
walk_and_shoot "$out" -english-system
send_and_shoot "$out" -english-system
ask close >/dev/null

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
