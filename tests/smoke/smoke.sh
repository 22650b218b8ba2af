#!/usr/bin/env bash
# End-to-end check of the installed program: stages `cmake --install` into a scratch root, checks
# the layout, then starts the installed launcher under Xvfb on the preloaded virtual probe, once in
# a Chinese and once in an English locale, and closes the window as a user would.
# Usage: smoke.sh <cmake> <build-dir> <x11window> <prefix> <bindir> <libdir> <datadir> <with-flm>
# With QUORVEL_SMOKE_DEB=<package.deb> the scratch root is the package unpacked by dpkg-deb -x
# instead (give the package's folders: /usr bin lib share), and its own files are checked too.
# Exit 77 (skipped) only when Xvfb is not installed.
set -euo pipefail

if [ $# -ne 8 ]; then
    echo "usage: $0 cmake build x11window prefix bindir libdir datadir with-flm"
    exit 2
fi
cmake=$1 build=$2 x11window=$3 prefix=$4 bindir=$5 libdir=$6 datadir=$7 with_flm=$8
title="Quorvel V1.97f"

if ! command -v Xvfb >/dev/null; then
    echo "SKIP: Xvfb is not installed (Debian package xvfb)"
    exit 77
fi

work=$(mktemp -d)
root="$work/root"
xvfb_pid="" app_pid=""
cleanup() {
    set +e
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# A folder of the install, under the staging root (GNU install folders may be absolute).
installed() {
    case $1 in
    /*) echo "$root$1" ;;
    *) echo "$root$prefix/$1" ;;
    esac
}

# --- install and layout ------------------------------------------------------------------------
deb=${QUORVEL_SMOKE_DEB:-}
if [ -n "$deb" ]; then
    if ! dpkg-deb -x "$deb" "$root" >"$work/install.log" 2>&1; then
        cat "$work/install.log"
        echo "FAIL: dpkg-deb -x $deb"
        exit 1
    fi
# DESTDIR staging keeps every file, absolute destinations included, inside the scratch root.
elif ! DESTDIR="$root" timeout 300 "$cmake" --install "$build" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

bin=$(installed "$bindir")
libexec=$(installed "$libdir")/quorvel
data=$(installed "$datadir")
launcher="$bin/quorvel"

expected=(
    "x $launcher"
    "x $libexec/Quorvel"
    "f $libexec/Quorvel_EN.qm"
    "f $libexec/open.png"
    "f $libexec/libquorvel-virtualprobe.so"
    "f $data/applications/quorvel.desktop"
    "f $data/icons/hicolor/32x32/apps/quorvel.png"
)
if [ "$with_flm" = ON ]; then
    expected+=("elf $data/quorvel/flashalgo/QB48x_Flash_AP.FLM"
               "elf $data/quorvel/flashalgo/QB48x_Flash_LD.FLM")
fi
if [ -n "$deb" ]; then
    expected+=("f $data/man/man1/quorvel.1.gz"
               "f $data/doc/quorvel/copyright"
               "f $data/doc/quorvel/changelog.gz"
               "f $data/bash-completion/completions/quorvel-cli")
    if [ -e "$bin/quorvel-cli" ]; then
        expected+=("x $bin/quorvel-cli" "f $data/man/man1/quorvel-cli.1.gz")
    fi
fi
for entry in "${expected[@]}"; do
    kind=${entry%% *} path=${entry#* }
    case $kind in
    x) { [ -f "$path" ] && [ -x "$path" ]; } || fail "not installed as a program: $path" ;;
    f) [ -s "$path" ] || fail "not installed: $path" ;;
    elf) [ "$(head -c 4 "$path" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 7f454c46 ] \
        || fail "not an ELF image: $path" ;;
    esac
done

# The desktop entry must start the installed launcher and name an installed icon.
entry="$data/applications/quorvel.desktop"
if [ -f "$entry" ]; then
    desktop-file-validate "$entry" || fail "desktop entry does not validate"
    exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ "$(basename "$exec_cmd")" = "$(basename "$launcher")" ] || fail "desktop Exec=$exec_cmd"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "$data/icons/hicolor/32x32/apps/$icon.png" ] || fail "desktop Icon=$icon not installed"
fi

# Exactly one udev rule; for the system prefixes it must sit where udev reads rules.
mapfile -t rules < <(find "$root" -name 60-quorvel-probe.rules)
if [ ${#rules[@]} -ne 1 ]; then
    fail "expected one udev rule, found ${#rules[@]}"
elif [ "$prefix" = /usr ] || [ "$prefix" = /usr/local ]; then
    case ${rules[0]#"$root"} in
    /etc/udev/rules.d/* | /usr/lib/udev/rules.d/* | /lib/udev/rules.d/*) ;;
    *) fail "udev never reads ${rules[0]#"$root"}" ;;
    esac
fi

# The installed command line starts without a display and describes itself.
if [ -x "$bin/quorvel-cli" ]; then
    env -u DISPLAY "$bin/quorvel-cli" --help >"$work/cli-help.txt" 2>&1 \
        || fail "installed quorvel-cli --help failed: $(cat "$work/cli-help.txt")"
    grep -q "plan" "$work/cli-help.txt" || fail "installed quorvel-cli --help does not name plan"
fi

# --- X server ----------------------------------------------------------------------------------
# -displayfd picks a free display itself, so parallel runs cannot race for a number.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    cat "$work/xvfb.log"
    echo "FAIL: Xvfb did not start"
    exit 1
fi
display=":$(head -n 1 "$work/display")"

# An instrumented build needs its sanitizer runtime ahead of the preloaded probe.
preload="$libexec/libquorvel-virtualprobe.so"
asan=$(ldd "$libexec/Quorvel" 2>/dev/null | sed -n 's/.*libasan[^ ]* => \([^ ]*\).*/\1/p')
if [ -n "$asan" ]; then
    preload="$asan:$preload"
    # Qt and fontconfig keep one-time allocations to the end; only errors count here.
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
fi

# --- one run per locale ------------------------------------------------------------------------
# locale name Qt reports | translation expected
runs=(
    "zh_CN.UTF-8 zh_CN no"
    "en_US.UTF-8 en_US yes"
)
for run in "${runs[@]}"; do
    read -r locale name english <<<"$run"
    echo "== $locale"
    home="$work/home-$name"
    mkdir -p "$home" "$work/runtime-$name"
    chmod 700 "$work/runtime-$name"
    log="$work/quorvel-$name.log"
    env -u LANGUAGE -u LC_MESSAGES -u XDG_DATA_HOME HOME="$home" LC_ALL="$locale" LANG="$locale" \
        XDG_RUNTIME_DIR="$work/runtime-$name" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
        LD_PRELOAD="$preload" "$launcher" >"$log" 2>&1 &
    app_pid=$!

    # Up to 90 s for a loaded machine, but a program that has ended is not waited for.
    window=""
    for _ in $(seq 90); do
        kill -0 "$app_pid" 2>/dev/null || break
        window=$(DISPLAY="$display" timeout 30 "$x11window" wait "$title" 1 2>/dev/null) && break
    done
    if [ -z "$window" ]; then
        fail "$locale: no window titled \"$title\""
        cat "$log"
        kill -KILL "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
        app_pid=""
        continue
    fi

    # Qt takes the locale from the environment, whether or not it is generated on this system.
    grep -qF "\"$name\"" "$log" || fail "$locale: program did not report locale \"$name\""
    # The translator maps the .qm file for as long as it lives, so the mapping shows the load.
    maps=$(cat "/proc/$app_pid/maps" 2>/dev/null || true)
    qm=$(readlink -f "$libexec/Quorvel_EN.qm")
    if grep -qF "$qm" <<<"$maps"; then loaded=yes; else loaded=no; fi
    [ "$loaded" = "$english" ] || fail "$locale: translation loaded: $loaded, expected $english"
    grep -qF "libquorvel-virtualprobe.so" <<<"$maps" || fail "$locale: virtual probe not preloaded"
    link="$home/.local/share/quorvel/open.png"
    [ "$(readlink -f "$link")" = "$(readlink -f "$libexec/open.png")" ] \
        || fail "$locale: launcher did not link the menu icon into the working folder"

    DISPLAY="$display" timeout 30 "$x11window" close "$window" || fail "$locale: close request"
    for _ in $(seq 300); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$app_pid" 2>/dev/null; then
        fail "$locale: still running 30 s after the window was closed"
        kill -KILL "$app_pid" 2>/dev/null || true
    fi
    status=0
    wait "$app_pid" || status=$?
    app_pid=""
    if [ "$status" -ne 0 ]; then
        fail "$locale: exit status $status"
        cat "$log"
    fi
done

[ "$failures" -eq 0 ] || exit 1
echo "Smoke test passed."
