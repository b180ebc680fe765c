# Sourced inside scripts/sandbox before running Windows programs:
# a Wine prefix in the build folder, a Japanese ANSI code page, and a
# wineserver of this namespace that is warm before the first program starts.
# The caller stops the server with wine_env_stop (or by leaving the namespace).

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$repo_root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Wine mangles non-ASCII arguments without a real ja_JP.UTF-8 locale; a
# program started with LC_ALL=en_US.UTF-8 sees a Windows whose ANSI code page
# is 1252, as on an English system.
export LOCPATH="$repo_root/build/locale"
for wine_locale in ja_JP en_US; do
  if [ ! -d "$LOCPATH/$wine_locale.UTF-8" ]; then
    mkdir -p "$LOCPATH"
    localedef -i "$wine_locale" -f UTF-8 "$LOCPATH/$wine_locale.UTF-8" 2>/dev/null || true
  fi
done
{ export LC_ALL=ja_JP.UTF-8; } 2>/dev/null  # bash itself cannot load it; Wine can

wine_env_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

mkdir -p "$WINEPREFIX"
wineserver -p
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1
  # No display here: windows and consoles are drawn by nobody.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wine_env_stop
  wineserver -p
fi
wine wineboot </dev/null >/dev/null 2>&1
