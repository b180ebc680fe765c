#!/usr/bin/env bash
# measure-submission.sh [MESSAGES]: builds the native and Windows mail tools
# and measures, inside a private network namespace, 100 messages (or
# MESSAGES) through STARTTLS and AUTH PLAIN to one loopback aiosmtpd server:
# pathcaster.exe under Wine, the mail core natively (OpenSSL) and under Wine
# (SChannel), msmtp and curl, each with the same settings, and the mail core
# without TLS and authentication, with the senders' and the server's CPU.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native windows >/dev/null
scripts/build.sh native windows >/dev/null
# Debian's aiosmtpd is importable only by the system interpreter; Wine's
# roots are changed inside the sandbox only.
exec scripts/sandbox --private-shm bash -c \
  'source scripts/wine-env.sh; trap wine_env_stop EXIT; /usr/bin/python3 "$@"' \
  measure-submission scripts/measure-submission.py "$@"
