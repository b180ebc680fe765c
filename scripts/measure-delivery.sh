#!/usr/bin/env bash
# measure-delivery.sh: figures of pathcaster.exe's delivery under Wine, inside
# scripts/sandbox with the test address 192.0.2.77, dnsmasq naming it and an
# aiosmtpd server on 127.0.0.1:25:
#   - delivery to 100 recipients: wall time from Yes on the mail settings
#     page's question to "送信が完了しました。" on the sending page, beside the
#     mail core's own figures for 100 messages (scripts/measure-mail.py) in
#     the same sandbox;
#   - memory: the resident set of pathcaster.exe's process with the sheet
#     open, after 10 more detections and after each of 10 more delivery runs
#     (Back to the mail settings page, Next, Yes).
set -euo pipefail
cd "$(dirname "$0")/.."
readonly recipients=100 repeats=10
readonly settings_key='HKLM\SOFTWARE\Tarvik\Vantor Vntrlink'

if [ "${1:-}" != --inside ]; then
  scripts/install-deps.sh native windows >/dev/null
  scripts/build.sh native windows >/dev/null
  exec scripts/sandbox --addr 192.0.2.77/24 "$0" --inside
fi

# Debian's aiosmtpd is importable only by the system interpreter.
echo "== the mail core, $recipients messages =="
/usr/bin/python3 scripts/measure-mail.py "$recipients" | sed -n '1,6p'

# shellcheck source=wizard-session.sh
source scripts/wizard-session.sh
stop() {
  wine reg delete "$settings_key" /f /reg:32 >/dev/null 2>&1 || true
  wizard_session_stop
}
trap stop EXIT

readonly sent_complete="送信が完了しました。" confirm="送信を実行しますか？"
now_ms() { echo $(( ${EPOCHREALTIME/./} / 1000 )); }

seed_address_book() {
  wine reg delete "$settings_key" /f /reg:32 >/dev/null 2>&1 || true
  {
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\Vantor Vntrlink\\5.5]\n'
    printf '"fromaddr"="owner@example.test"\n"mailserver"="127.0.0.1"\n'
    printf '"message"="自宅のPCへのリンクです。"\n\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\Vantor Vntrlink\\5.5\\addrList]\n'
    local i
    for i in $(seq -w "$recipients"); do printf '"r%s"="r%s@example.test"\n' "$i" "$i"; done
  } | import_registry /reg:32
}

received() { grep -c -- '---------- MESSAGE FOLLOWS ----------' "$wizard_state/smtp.log" || true; }

# Wine gives the Windows process its own Linux process, named by the .exe.
wizard_rss_kb() {
  local process
  for process in /proc/[0-9]*; do
    if tr '\0' ' ' <"$process/cmdline" 2>/dev/null | grep -q 'pathcaster\.exe'; then
      awk '/^VmRSS/ {print $2}' "$process/status"
      return 0
    fi
  done
  wizard_die "no pathcaster.exe process"
}

# Polls a driver query every 20 ms until it gives the expected text, at most
# 120 s: a hundred mails may take longer than wait_for allows.
wait_long() {
  local i
  for i in $(seq 6000); do
    [ "$(ask "$1")" = "$2" ] && return 0
    sleep 0.02
  done
  wizard_die "'$1' never gave '$2'"
}

# The question is the one window titled VNTRLINK beside the sheet.
wait_for_question() {
  local i
  for i in $(seq 1500); do
    if [ "$(ask "count VNTRLINK")" = 2 ]; then
      ask "box 1 VNTRLINK" >/dev/null
      [ "$(ask box-text)" = "$confirm" ] && return 0
    fi
    sleep 0.02
  done
  wizard_die "no question '$confirm'"
}

# From the mail settings page: Next, Yes, and the run to its end. Prints
# the milliseconds from Yes to string 27.
deliver() {
  local before t0
  before=$(received)
  ask "press next" >/dev/null
  wait_for_question
  t0=$(now_ms)
  ask "box-press 6" >/dev/null
  wait_for page 105
  wait_long "text 1024" "$sent_complete"
  echo $(( $(now_ms) - t0 ))
  [ "$(( $(received) - before ))" -eq "$recipients" ] ||
    wizard_die "$(( $(received) - before )) of $recipients mails arrived"
}

redetect() {
  local reports=$1 report
  # A press between the end of a detection's report and its last step is
  # taken as a cancel of it: press again.
  for _ in 1 2 3; do
    ask "click 1002" >/dev/null
    for _ in $(seq 250); do
      report=$(ask "text 1000")  # not in a pipeline: its subshell lacks the driver's pipes
      [ "$(grep -o 'AdapterName' <<<"$report" | wc -l)" -gt "$reports" ] && break 2
      sleep 0.02
    done
  done
  wait_for "text 1009" "$detection_done"
}

start_virtual_display
prepare_display_prefix
seed_address_book
start_test_dns
start_smtp_server -c aiosmtpd.handlers.Debugging  # prints each mail it receives
start_wizard
start_driver

ask "sheet 30 VNTRLINK" >/dev/null
wait_for page 101
wait_for buttons "next cancel"
rss_open=$(wizard_rss_kb)
next_page 102
wait_for "text 1009" "$detection_done"
rss_first_detection=$(wizard_rss_kb)
rss_detections=()
for run in $(seq "$repeats"); do
  redetect "$run"
  rss_detections+=("$(wizard_rss_kb)")
done
next_page 103
next_page 106
first_ms=$(deliver)
rss_first_run=$(wizard_rss_kb)

rss_runs=()
run_ms=()
for run in $(seq "$repeats"); do
  ask "press back" >/dev/null
  wait_for page 106
  run_ms+=("$(deliver)")
  rss_runs+=("$(wizard_rss_kb)")
done
ask "press finish" >/dev/null
wait "$wizard_pid" || wizard_die "pathcaster.exe did not end with 0"

echo "== pathcaster.exe under Wine =="
echo "delivery to $recipients recipients through aiosmtpd: Yes to \"$sent_complete\": $first_ms ms"
echo "  the $repeats later runs, ms:              ${run_ms[*]}"
echo "resident set of pathcaster.exe (VmRSS, kB):"
echo "  sheet open (page 101):               $rss_open"
echo "  after the first detection:           $rss_first_detection"
echo "  after each of $repeats more detections:     ${rss_detections[*]}"
echo "  after the first delivery run:        $rss_first_run"
echo "  after each of $repeats more delivery runs:  ${rss_runs[*]}"
echo "mails received in all: $(received) ($(( recipients * (repeats + 1) )) expected)"
