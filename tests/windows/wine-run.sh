#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix, creating the prefix on
# first use. ZENTOR_WINEPREFIX (default /tmp/zentor-wine) selects the prefix.
set -euo pipefail

export WINEPREFIX=${ZENTOR_WINEPREFIX:-${WINEPREFIX:-/tmp/zentor-wine}}
export WINEDEBUG=${WINEDEBUG:--all}
# A Russian Windows: ANSI code page 1251, OEM 866 (Wine needs no installed locale;
# only Wine gets it, so this shell does not complain about a missing one).
locale=${ZENTOR_WINE_LOCALE:-ru_RU.UTF-8}
# No Mono or Gecko installer prompts; console programs need no display.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY

wine=$(command -v wine || command -v wine64 || true)
if [ -z "$wine" ]; then
    wine=/usr/lib/wine/wine64
fi
[ -x "$wine" ] || { echo "wine-run.sh: Wine is not installed" >&2; exit 127; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            env LC_ALL="$locale" "$wine" wineboot -i >/dev/null 2>&1 || true
            wineserver -w || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi

exec env LC_ALL="$locale" "$wine" "$@"
