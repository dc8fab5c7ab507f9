#!/usr/bin/env bash
# Runs dockhost.exe with the plug-in for SECONDS (default 20) under Wine,
# inside the current display. Before that it starts a local Dovecot POP3
# server with a freshly generated mailbox, points the account "Local
# mailbox" at it and runs one real check through the plug-in. Used by run.sh.
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
subjects = ["Welcome to the local mailbox", "Meeting moved to Thursday", "=?ISO-8859-1?Q?Caf=E9_menu?=",
            "Build report", "Holiday photos"]
for n, subject in enumerate(subjects, 1):
    body = "Message %d of the generated mailbox.\r\n" % n
    text = ("From: Sender %d <sender%d@example.org>\r\nTo: user@example.org\r\nSubject: %s\r\n"
            "Date: %s\r\n\r\n%s" % (n, n, subject, time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime()), body))
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
  --check 60 --report --run "$SECONDS_TO_RUN" --print --save --verbose "$@"
rc=$?
wine_down
exit $rc
