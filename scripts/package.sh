#!/usr/bin/env bash
# Builds a release into dist/: the 64-bit and 32-bit DLLs (Release, stripped),
# the setup program postwarden-setup-VERSION.exe and postwarden-VERSION.zip
# with the same files for registering by hand.
# Usage: scripts/package.sh   (DIST=dir to write elsewhere)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DIST=${DIST:-$ROOT/dist}

bash "$ROOT/scripts/deps.sh" x64
bash "$ROOT/scripts/deps.sh" x86
declare -A TRIPLE=([x64]=x86_64-w64-mingw32 [x86]=i686-w64-mingw32)
for arch in x64 x86; do
  bash "$ROOT/scripts/configure.sh" "$ROOT/build-release-$arch" "$arch" -DCMAKE_BUILD_TYPE=Release -DPW_TESTS=OFF
done

# Both DLLs export exactly the five entries, undecorated, as hosts and
# regsvr32 look them up.
for arch in x64 x86; do
  exports=$("${TRIPLE[$arch]}-objdump" -p "$ROOT/build-release-$arch/postwarden.dll" |
            awk '/\[Ordinal\/Name Pointer\] Table/ {t = 1; next} t && NF == 0 {t = 0} t {print $NF}' | sort | tr '\n' ' ')
  if [ "$exports" != "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer PostwardenControl " ]; then
    echo "package: $arch exports are wrong: $exports" >&2; exit 1
  fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for arch in x64 x86; do
  mkdir -p "$stage/$arch"
  "${TRIPLE[$arch]}-strip" -o "$stage/$arch/postwarden.dll" "$ROOT/build-release-$arch/postwarden.dll"
  # Files the plug-in reads beside its module, where the tree has them.
  [ -f "$ROOT/res/dnsbl.ini" ] && cp "$ROOT/res/dnsbl.ini" "$stage/$arch/"
  if compgen -G "$ROOT/res/msgicons/*.png" >/dev/null; then
    mkdir -p "$stage/$arch/msgicons"
    cp "$ROOT"/res/msgicons/*.png "$stage/$arch/msgicons/"
  fi
done
# The uninstaller removes exactly these files, then the folders if empty.
( cd "$stage"
  find x64 x86 -type f | sort | sed 's|/|\\|g; s|^|  Delete "$INSTDIR\\|; s|$|"|'
  find x64 x86 -depth -type d | sed 's|/|\\|g; s|^|  RMDir "$INSTDIR\\|; s|$|"|'
) >"$stage/uninstall.nsh"
cat >"$stage/INSTALL.txt" <<'TXT'
Postwarden - registering by hand

x64\postwarden.dll is for 64-bit toolbars, x86\postwarden.dll for 32-bit
ones. Copy the folder where it will stay, then, from a command prompt run as
administrator:

  64-bit toolbar:  %WINDIR%\System32\regsvr32 "C:\path\x64\postwarden.dll"
  32-bit toolbar on 64-bit Windows:
                   %WINDIR%\SysWOW64\regsvr32 "C:\path\x86\postwarden.dll"
  32-bit Windows:  regsvr32 "C:\path\x86\postwarden.dll"

To remove it, run the same command with /u, then delete the files. Your
settings are kept by the toolbar, not in these files.
TXT
sed -i 's/$/\r/' "$stage/INSTALL.txt"   # Windows line ends

mkdir -p "$DIST"
makensis -V2 -DSTAGE="$stage" -DOUTDIR="$DIST" "$ROOT/installer/postwarden.nsi"
setup=$(ls -t "$DIST"/postwarden-setup-*.exe | head -n1)
version=${setup##*/postwarden-setup-}; version=${version%.exe}
zipfile="$DIST/postwarden-$version.zip"
rm -f "$zipfile"
( cd "$stage" && zip -qr "$zipfile" x64 x86 INSTALL.txt )
echo "package: $setup"
echo "package: $zipfile"
