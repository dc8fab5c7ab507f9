#!/usr/bin/env bash
# The setup program as a user runs it, silently, in a fresh Wine prefix:
# install, create the plug-in through COM with the stand-in host, upgrade
# over the installation, uninstall, and uninstall again. A settings file the
# user made meanwhile is never touched.
# Usage: install_test.sh DIST-DIR DOCKHOST-EXE
set -uo pipefail
DIST=$1
DOCKHOST=$2
setup=$(ls -t "$DIST"/postwarden-setup-*.exe 2>/dev/null | head -n1)
[ -n "$setup" ] || { echo "no setup program in $DIST"; exit 1; }
version=${setup##*/postwarden-setup-}; version=${version%.exe}

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k >/dev/null 2>&1; rm -rf "$work"; }
trap cleanup EXIT
passed=0 failed=0
check() { # description, command...
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
w() { timeout 120 wine "$@" </dev/null; }
reg_has() { # view key [value]: the key (and value) exists in the 64- or 32-bit view
  local view=$1 key=$2; shift 2
  if [ $# -gt 0 ]; then w reg query "$key" /v "$1" "/reg:$view" 2>/dev/null | grep -qi "$1"
  else w reg query "$key" "/reg:$view" >/dev/null 2>&1; fi
}
reg_value() { # view key name ('(Default)' for the key's own value)
  local sel=(/v "$3"); [ "$3" = '(Default)' ] && sel=(/ve)
  w reg query "$2" "${sel[@]}" "/reg:$1" 2>/dev/null | tr -d '\r' |
    awk -v n="$3" 'tolower($1) == tolower(n) { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

CLSID='{5D1C7E2A-8B43-4F6E-9A21-3C7B0E94D1A5}'
CATID='{3F8B6D21-C5E7-4A90-8D3C-6E1F2A7B9C48}'
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Postwarden'
DIR='C:\Postwarden'
LDIR="$WINEPREFIX/drive_c/Postwarden"

echo "installer: fresh prefix"
timeout 300 wineboot -i >/dev/null 2>&1 </dev/null
# Whether this Wine can run 32-bit programs (the 32-bit regsvr32).
if [ -f "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe" ] && w 'C:\windows\syswow64\cmd.exe' /c exit >/dev/null 2>&1; then
  wow=1
else
  wow=0
  echo "installer: this Wine runs no 32-bit programs; the 32-bit view is not checked"
fi

install() {
  w "$setup" /S "/D=$DIR"
  local rc=$?
  wineserver -w
  # Without 32-bit support the setup says the 32-bit plug-in could not be registered (4).
  [ "$rc" = 0 ] || { [ "$wow" = 0 ] && [ "$rc" = 4 ]; }
}
installed() {
  [ -f "$LDIR/x64/postwarden.dll" ] && [ -f "$LDIR/x86/postwarden.dll" ] && [ -f "$LDIR/uninstall.exe" ] || return 1
  # The black-list definitions the plug-in reads from beside itself.
  grep -q '^DNSBL ' "$LDIR/x64/dnsbl.ini" && grep -q '^DNSBL ' "$LDIR/x86/dnsbl.ini" || return 1
  [ "$(reg_value 64 "HKCR\\CLSID\\$CLSID\\InprocServer32" '(Default)' | tr 'A-Z' 'a-z')" = 'c:\postwarden\x64\postwarden.dll' ] || return 1
  [ "$(reg_value 64 "HKCR\\CLSID\\$CLSID\\InprocServer32" ThreadingModel)" = Apartment ] || return 1
  reg_has 64 "HKCR\\CLSID\\$CLSID\\Implemented Categories\\$CATID" || return 1
  [ "$(reg_value 64 "$UNINSTALL" DisplayVersion)" = "$version" ] || return 1
  reg_has 64 "$UNINSTALL" QuietUninstallString || return 1
  if [ "$wow" = 1 ]; then
    [ "$(reg_value 32 "HKCR\\CLSID\\$CLSID\\InprocServer32" '(Default)' | tr 'A-Z' 'a-z')" = 'c:\postwarden\x86\postwarden.dll' ] || return 1
  fi
}
creates_through_com() { # the stand-in host finds the plug-in through the registry
  w "$DOCKHOST" --com --print --settings 'C:\users\Public\pw-settings.dat' "$@" >"$work/host.txt" 2>&1
  tr -d '\r' <"$work/host.txt" | grep -q '^tooltip: Postwarden' &&
    tr -d '\r' <"$work/host.txt" | grep -q 'menu 2: Pause check \[checked\]'
}
removed() {
  [ ! -e "$LDIR" ] || return 1
  ! reg_has 64 "HKCR\\CLSID\\$CLSID" || return 1
  ! reg_has 64 "$UNINSTALL" || return 1
  if [ "$wow" = 1 ]; then ! reg_has 32 "HKCR\\CLSID\\$CLSID" || return 1; fi
}

echo "installer: install $setup"
check "silent install" install
check "files, both registry views, the Add/Remove Programs entry" installed
check "the stand-in host creates the plug-in through COM" creates_through_com --menu 2 --save
settings="$WINEPREFIX/drive_c/users/Public/pw-settings.dat"
check "the host saved a settings file" test -s "$settings"
before=$(md5sum <"$settings")

echo "installer: install again over it"
check "upgrade install" install
check "still installed after the upgrade" installed
check "the plug-in still comes up, paused as saved" creates_through_com
before=$(md5sum <"$settings")

echo "installer: install while a toolbar holds the plug-in"
busy_install() { # the host keeps the DLL loaded; the setup stops and says why
  timeout 60 wine "$DOCKHOST" --com --hidden --run 20 </dev/null >/dev/null 2>&1 &
  local host=$!
  sleep 6
  w "$setup" /S "/D=$DIR"
  local rc=$?
  kill $host 2>/dev/null; wait $host 2>/dev/null; wineserver -w
  [ "$rc" = 2 ]
}
check "a setup over a plug-in in use stops with exit code 2" busy_install
check "and leaves the installation as it was" installed

cp "$LDIR/uninstall.exe" "$work/uninstall-copy.exe"
echo "installer: uninstall"
uninstall() { w "$DIR\\uninstall.exe" /S; local rc=$?; wineserver -w; [ "$rc" = 0 ]; }
check "silent uninstall" uninstall
check "rows and files removed" removed
check "the user's settings are untouched" test "$(md5sum <"$settings")" = "$before"
echo "installer: uninstall again"
again() { w "$(winepath -w "$work/uninstall-copy.exe")" /S "_?=$DIR"; local rc=$?; wineserver -w; [ "$rc" = 0 ]; }
check "a second uninstall ends cleanly" again
check "nothing came back" removed

echo "installer: $passed passed, $failed failed"
[ "$failed" = 0 ]
