# Sourced by the scripts that run the Windows .exe or its tests under Wine:
# the settings they share, and the prefix they run in.

# Quiet, no .NET or Gecko installers, a 64-bit prefix (wine64 alone).
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# wine_prefix DIR: makes DIR the Wine prefix, creating it first if needed
# (seconds on the host); what wineboot said lands in DIR.log
wine_prefix() {
    export WINEPREFIX=$1
    [ ! -f "$WINEPREFIX/system.reg" ] || return 0
    echo "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >"$WINEPREFIX.log" 2>&1 && wineserver -w
}
