#!/usr/bin/env bash
# wizard.sh [--real-network]: runs pathcaster.exe under Wine (scripts/run.sh
# --wizard builds it first).
#
# With a display ($DISPLAY), the wizard opens there, in a Wine desktop window,
# until you close it. Without one, it runs on a virtual display: the script
# walks to the detection page, waits for the detection and saves a screenshot
# in build/wizard.png.
#
# The wizard sends DNS queries (and, from its later pages, mail), so it runs
# inside scripts/sandbox, where its one network adapter carries the test
# address 192.0.2.77 and a DNS server on loopback names it
# host77.example.test. --real-network runs it on this machine's own network
# instead: it then asks this machine's DNS servers for its own names.
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

headless=0
[ -n "${DISPLAY:-}" ] || { headless=1; start_virtual_display; }
prepare_display_prefix
[ "$real_network" = 1 ] || start_test_dns
start_wizard

if [ "$headless" = 0 ]; then
  echo "The wizard is open on display $DISPLAY; it ends when you close it."
  wait "$wizard_pid" || true
  exit 0
fi

start_driver
ask "sheet 30 VNTRLINK" >/dev/null
wait_for page 101
next_page 102
wait_for "text 1009" "$detection_done"
shoot build/wizard.png >/dev/null
echo "No display here: the wizard ran on a virtual one; its detection page is in build/wizard.png."
ask close >/dev/null
