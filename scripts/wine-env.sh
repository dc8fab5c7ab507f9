#!/usr/bin/env bash
# Prepares the build's Wine prefix and keeps its server running for a test
# run: sourced by the test and run scripts. Expects BUILD to be set.
export WINEPREFIX="$BUILD/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

wine_up() {
  # The server is started detached, its output away from our pipes: a
  # program started later would otherwise hold a caller's pipe open.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating prefix $WINEPREFIX"
    setsid wineserver -p >/dev/null 2>&1 </dev/null &
    wineboot -i >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
  else
    setsid wineserver -p >/dev/null 2>&1 </dev/null &
  fi
  # Wine's services start with the first program and outlive it: start them
  # here, detached, so that no test's output pipe is held open by them. The
  # desktop process cannot be kept so: it ends when no program uses the
  # desktop and comes back with the next one, inheriting its output, which
  # is why build/wine-run.sh never hands a program its caller's pipe.
  setsid wine cmd /c exit >/dev/null 2>&1 </dev/null
  setsid wine rundll32 user32.dll,GetDesktopWindow >/dev/null 2>&1 </dev/null || true
}

wine_down() { wineserver -k >/dev/null 2>&1 || true; }
