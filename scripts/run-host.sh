#!/usr/bin/env bash
# Runs dockhost.exe with the plug-in for SECONDS (default 20) under Wine,
# inside the current display. Before that it starts a local Dovecot POP3
# server with a freshly generated mailbox, points the account "Local
# mailbox" at it, switches filtering on and runs one real check through the
# plug-in. Used by run.sh.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
SECONDS_TO_RUN=${1:-20}
shift || true
SERVICES="$ROOT/tests/support/services.py"
MAILDIR_SERVER=$(mktemp -d /tmp/postwarden-run.XXXXXX)
trap 'python3 "$SERVICES" stop --dir "$MAILDIR_SERVER"; rm -rf "$MAILDIR_SERVER"' EXIT

if ! python3 "$SERVICES" start --dir "$MAILDIR_SERVER" --name dovecot --opt lifetime=$((SECONDS_TO_RUN + 300)); then
  cat "$MAILDIR_SERVER/error.txt" >&2
  exit 1
fi
PORT=$(awk '$1 == "main" {print $2}' "$MAILDIR_SERVER/ports")
python3 - "$MAILDIR_SERVER/home/user/Maildir/new" <<'PY'
import os, sys, time
new = sys.argv[1]
# Messages 4 and 5 show filtering at work: one from a friend (approved by
# the built-in "Friends" rule), one the built-in spam rules catch.
mail = [("Sender 1 <sender1@example.org>", "Welcome to the local mailbox"),
        ("Sender 2 <sender2@example.org>", "Meeting moved to Thursday"),
        ("Sender 3 <sender3@example.org>", "=?ISO-8859-1?Q?Caf=E9_menu?="),
        ("Postwarden Support <support@postwarden.org>", "Build report"),
        ("Deals <promo@deals.example>", "Limited time offer!!! Act now")]
for n, (sender, subject) in enumerate(mail, 1):
    body = "Message %d of the generated mailbox.\r\n" % n
    text = ("From: %s\r\nTo: user@example.org\r\nSubject: %s\r\n"
            "Date: %s\r\n\r\n%s" % (sender, subject, time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime()), body))
    with open(os.path.join(new, "%d.M%dP1.run" % (int(time.time()), n)), "w", newline="") as f:
        f.write(text)
PY
chown -R nobody:nogroup "$MAILDIR_SERVER/home" 2>/dev/null || true
echo "run: Dovecot with 5 messages on 127.0.0.1:$PORT"

source "$ROOT/scripts/wine-env.sh"
wine_up
cd "$BUILD"
wine dockhost.exe --settings postwarden-settings.dat \
  --account "\"Local mailbox\" server=127.0.0.1 port=$PORT user=user password=secret security=none" \
  --filters on --check 60 --report --list-shot screenshots/list.png --run "$SECONDS_TO_RUN" --print --save --verbose "$@"
rc=$?
wine_down
exit $rc
