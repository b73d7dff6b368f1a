# Sourced by the scripts: a private Wine prefix under the build folder, one
# Xvfb display and one wineserver kept alive, and a function that stops only
# what was started here.
# Needs: $build (the build folder).

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win64

wine_cmd=$(command -v wine || echo /usr/lib/wine/wine64)
wineserver_cmd=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export VERDALT_WINE="$wine_cmd"

started_xvfb=""
started_wineserver=""

start_display() {
    if [ -n "${VERDALT_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return; fi
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        started_xvfb=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && return
            sleep 0.1
        done
    done
    echo "wine-env: could not start Xvfb" >&2
    return 1
}

ensure_prefix() {
    if [ ! -f "$WINEPREFIX/.verdalt-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$wine_cmd" wineboot -i >/dev/null 2>&1 || true
        # Without a window manager Wine waits for every hidden or closed window.
        "$wine_cmd" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        "$wine_cmd" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
        # A crashing program ends at once instead of waiting in the debugger.
        "$wine_cmd" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1
        "$wineserver_cmd" -w
        touch "$WINEPREFIX/.verdalt-ready"
    fi
}

start_wineserver() {
    "$wineserver_cmd" -p >/dev/null 2>&1 &
    started_wineserver=1
    # Start the prefix's desktop and services with one program before the tests
    # start many at once: racing first starts can leave a program hanging at exit.
    "$wine_cmd" rundll32 user32.dll,GetDesktopWindow >/dev/null 2>&1 || true
}

stop_started() {
    if [ -n "$started_wineserver" ]; then
        "$wineserver_cmd" -k >/dev/null 2>&1 || true
        started_wineserver=""
    fi
    if [ -n "$started_xvfb" ]; then
        kill "$started_xvfb" >/dev/null 2>&1 || true
        wait "$started_xvfb" 2>/dev/null || true
        started_xvfb=""
    fi
}
