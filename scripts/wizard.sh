#!/usr/bin/env bash
# wizard.sh [--real-network]: runs pathcaster.exe under Wine (scripts/run.sh
# --wizard builds it first), with its mail settings preset (sender
# owner@example.test, mail server 127.0.0.1, one recipient) and a mail server
# of the demo that prints each mail it receives, decoded, on this terminal.
#
# With a display ($DISPLAY), the wizard opens there, in a Wine desktop window,
# until you close it. Without one, it runs on a virtual display: the script
# walks every page to a finished delivery and saves each page as a PNG in
# build/wizard-pages/.
#
# The wizard sends DNS queries and mail, so it runs inside scripts/sandbox,
# where its one network adapter carries the test address 192.0.2.77 and a
# DNS server on loopback names it host77.example.test. --real-network runs it
# on this machine's own network instead: it then asks this machine's DNS
# servers for its own names, and there is no demo mail server (a send goes
# to the mail server of its settings; without a display it walks to the mail
# settings page and sends nothing).
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  --inside) real_network=0 ;;
  --real-network) real_network=1 ;;
  "") exec scripts/sandbox --addr 192.0.2.77/24 "$0" --inside ;;
  *) echo "usage: wizard.sh [--real-network]" >&2; exit 2 ;;
esac

# shellcheck source=wizard-session.sh
source scripts/wizard-session.sh
trap wizard_session_stop EXIT

readonly pages=build/wizard-pages

headless=0
[ -n "${DISPLAY:-}" ] || { headless=1; start_virtual_display; }
prepare_display_prefix
seed_mail_settings
if [ "$real_network" = 0 ]; then
  start_test_dns
  start_demo_smtp_server
fi
start_wizard

if [ "$headless" = 0 ]; then
  echo "The wizard is open on display $DISPLAY; it ends when you close it."
  wait "$wizard_pid" || true
  exit 0
fi

start_driver
walk_and_shoot "$pages" >/dev/null
[ "$real_network" = 1 ] || send_and_shoot "$pages" >/dev/null
ask close >/dev/null
echo "No display here: the wizard walked its pages on a virtual one; they are in $pages/."
