#!/usr/bin/env bash
# measure-mail.sh [MESSAGES]: builds the native mail tool and measures, inside
# a private network namespace, 100 messages (or MESSAGES) to a loopback
# aiosmtpd server sent by SendMailMessage, by msmtp and by curl, and the
# conversion speed of SjisToJis + EncodeWords on 1 MB of Japanese text.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native >/dev/null
scripts/build.sh native >/dev/null
# Debian's aiosmtpd is importable only by the system interpreter.
exec scripts/sandbox /usr/bin/python3 scripts/measure-mail.py "$@"
