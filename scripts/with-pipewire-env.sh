#!/usr/bin/env bash
# Runs a command on PipeWire's PulseAudio service, in the same kind of test environment that
# scripts/with-test-env.sh gives on a private PulseAudio daemon: a private runtime folder, an X
# server (Xvfb) when there is no display, a session D-Bus, and PipeWire with WirePlumber and
# pipewire-pulse whose default output is a null sink "out" and whose default input "vmic" (the
# remapped monitor of a null sink "mic") carries a steady 440 Hz tone at -6 dBFS.
#
# This machine runs no PipeWire, so the sound server and every library the command loads come
# from a minimal Debian 12 root, debootstrapped once from the mirror of this machine's apt sources
# and kept (rebuilt when missing, completed when the package list below changes). The command
# runs in a mount namespace of its own where the root's /usr, /etc, /var/lib and /var/cache stand
# in for this machine's; every other path (the repository, the build folder, /tmp, /var/tmp) is
# this machine's own, so `build/program/tapewren` and `bench/*.py` work unchanged. It runs in a
# PID namespace too: whatever it leaves running ends with it.
#
# Usage: scripts/with-pipewire-env.sh COMMAND [ARG...]
# Needs root (it runs itself through sudo if not); the first run downloads about 200 MB (the
# root takes about 800 MB).
# Exports TAPEWREN_TEST_PULSE=1. Stops, without running COMMAND, when the sound server or the
# test devices do not come up.
# Environment: TAPEWREN_PIPEWIRE_ROOT (the root's folder, default
#              /var/tmp/tapewren-pipewire-root; its build log is that name with .log),
#              MIRROR (default: the bookworm mirror of this machine's apt sources),
#              PIPEWIRE_QUANTUM (frames, e.g. 8192 as on Bluetooth, or FRAMES/RATE: the graph
#              then runs at that fixed quantum, 8192 frames at most, and at that rate; a large
#              quantum is a large output latency).
set -euo pipefail

suite=bookworm
# The sound server, the tools of the test environment and the benches, and what Tapewren and
# its tests load at run time; cmake brings ctest, strace counts what a client does, and the
# last line is what the end-to-end tests drive the window with (as install-deps.sh --tests).
packages=(
    pipewire pipewire-pulse wireplumber pulseaudio-utils dbus
    sox xvfb xdotool python3 cmake strace
    libqt6widgets6 libqt6dbus6 libqt6test6 qt6-qpa-plugins qt6-translations-l10n
    libsndfile1 libpulse0 libsoxr0 fonts-wqy-microhei
    python3-pyatspi python3-xlib at-spi2-core dbus-x11 x11-utils openbox wmctrl imagemagick
)
# This machine's folders that the root's own replace inside the namespace.
replaced=(/etc /var/lib /var/cache /usr)

die() {
    echo "with-pipewire-env: $*" >&2
    exit 1
}
# die, after the last lines of a log ($1)
die_log() {
    tail -n 20 "$1" >&2
    shift
    die "$@"
}

# Inside the namespace, after the root's folders are in place: the services, then the command.
run_inside() {
    local work=$1
    shift
    export XDG_RUNTIME_DIR="$work/run"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    # Recordings left by killed test programs stay here, not in the user's own state folder.
    export XDG_STATE_HOME="$work/state"
    export HOME="${HOME:-$work}"
    local quantum=${PIPEWIRE_QUANTUM:-}
    # PipeWire's own clients would read it as theirs: the whole graph takes it below.
    unset PIPEWIRE_QUANTUM
    local frames=${quantum%%/*} rate=""
    [[ "$quantum" == */* ]] && rate=${quantum#*/}
    if [[ -n "$quantum" ]] && { ! [[ "$frames" =~ ^[0-9]+$ && "$rate" =~ ^([0-9]+)?$ ]] ||
        ((frames < 16 || frames > 8192)); }; then
        die "PIPEWIRE_QUANTUM must be 16 to 8192 frames, or FRAMES/RATE; not '$quantum'"
    fi

    # What this shell started, ended when it exits.
    pids=()
    command=""
    cleanup() {
        local pid
        for pid in $command "${pids[@]}"; do
            kill "$pid" 2>/dev/null || true
        done
        for pid in "${pids[@]}"; do
            wait "$pid" 2>/dev/null || true
        done
        return 0
    }
    trap cleanup EXIT
    # The namespace's first process ignores signals it has no handler for.
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP

    if [[ -z "${DISPLAY:-}" ]]; then
        local n
        for n in $(seq 90 140); do
            [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
            grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix && continue
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
            pids+=($!)
            export DISPLAY=":$n"
            for _ in $(seq 50); do
                [[ -e /tmp/.X11-unix/X$n ]] && break
                sleep 0.1
            done
            break
        done
        [[ -e /tmp/.X11-unix/X${DISPLAY#:} ]] || die_log "$work/xvfb.log" "Xvfb did not start"
    fi

    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" \
        >"$work/dbus.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
        [[ -S "$XDG_RUNTIME_DIR/bus" ]] && break
        sleep 0.1
    done
    [[ -S "$XDG_RUNTIME_DIR/bus" ]] || die_log "$work/dbus.log" "the session D-Bus did not start"

    # The sound server's own configuration, read by it alone.
    local config="$work/config"
    # Without systemd-logind WirePlumber's Bluetooth monitor ends the whole session manager.
    mkdir -p "$config/wireplumber/bluetooth.lua.d" "$config/pipewire/pipewire.conf.d"
    echo "bluez_monitor.enabled = false" \
        >"$config/wireplumber/bluetooth.lua.d/80-tapewren-no-bluetooth.lua"
    if [[ -n "$quantum" ]]; then
        {
            echo "context.properties = {"
            echo "    default.clock.quantum = $frames"
            echo "    default.clock.min-quantum = $frames"
            echo "    default.clock.max-quantum = $frames"
            if [[ -n "$rate" ]]; then
                echo "    default.clock.rate = $rate"
                echo "    default.clock.allowed-rates = [ $rate ]"
            fi
            echo "}"
        } >"$config/pipewire/pipewire.conf.d/80-tapewren-quantum.conf"
    fi
    server() {
        # $1: the program, started with the configuration above; its log is $work/$1.log.
        XDG_CONFIG_HOME="$config" "$1" >"$work/$1.log" 2>&1 &
        pids+=($!)
    }
    server pipewire
    for _ in $(seq 100); do
        [[ -S "$XDG_RUNTIME_DIR/pipewire-0" ]] && break
        sleep 0.1
    done
    [[ -S "$XDG_RUNTIME_DIR/pipewire-0" ]] || die_log "$work/pipewire.log" "PipeWire did not start"
    server wireplumber
    server pipewire-pulse
    local conf="$work/client.conf"
    echo "autospawn = no" >"$conf"
    export PULSE_CLIENTCONFIG="$conf"
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    pactl info >/dev/null 2>&1 || die_log "$work/pipewire-pulse.log" "pipewire-pulse did not start"

    pactl load-module module-null-sink sink_name=out >/dev/null &&
        pactl load-module module-null-sink sink_name=mic >/dev/null &&
        pactl load-module module-remap-source master=mic.monitor source_name=vmic >/dev/null ||
        die "the test devices could not be made"
    # WirePlumber takes the defaults once it has seen the devices.
    local defaults=""
    for _ in $(seq 100); do
        pactl set-default-sink out 2>/dev/null && pactl set-default-source vmic 2>/dev/null &&
            [[ "$(pactl get-default-sink) $(pactl get-default-source)" == "out vmic" ]] &&
            defaults=1 && break
        sleep 0.1
    done
    [[ -n "$defaults" ]] || die_log "$work/wireplumber.log" \
        "the defaults are not out and vmic but '$(pactl get-default-sink)' and" \
        "'$(pactl get-default-source)' (is WirePlumber running?)"
    (sox -q -n -r 44100 -c 2 -b 16 -t raw - synth 86400 sine 440 vol 0.5 |
        pacat -d mic --raw --rate=44100 --channels=2 --format=s16le --latency-msec=100) \
        >"$work/feed.log" 2>&1 &
    pids+=($!)
    # The remapped input carries nothing for a moment after the feed starts: wait for the tone.
    { timeout 10 parec -d vmic --raw --latency-msec=20 2>/dev/null || true; } |
        { od -An -tx1 -v || true; } | grep -m1 -qv '^[ 0]*$' ||
        die_log "$work/feed.log" "no tone on the input vmic"
    export TAPEWREN_TEST_PULSE=1

    # In the background, so that a signal to this shell is acted on at once; with the
    # interrupt signals a background job would ignore restored.
    (
        trap - INT QUIT
        exec "$@"
    ) <&0 &
    command=$!
    local rc=0
    wait "$command" || rc=$?
    command=""
    return $rc
}

# In the new namespaces, as their first process: put the root's folders in place, then go on
# with the root's own bash.
if [[ "${1:-}" == --in-namespace ]]; then
    root=$2
    for folder in "${replaced[@]}"; do
        mount --bind "$root$folder" "$folder"
    done
    exec bash "$0" --in-root "${@:3}"
fi
if [[ "${1:-}" == --in-root ]]; then
    shift
    run_inside "$@"
    exit $?
fi

if (($# == 0)); then
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
fi
if [[ $(id -u) -ne 0 ]]; then
    exec sudo --preserve-env bash "$0" "$@"
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${TAPEWREN_PIPEWIRE_ROOT:-/var/tmp/tapewren-pipewire-root}
root=$(realpath -m "$root")
for folder in "${replaced[@]}"; do
    for path in "$repo" "$PWD" "$root"; do
        [[ "$path/" == "$folder"/* ]] &&
            die "$path is under $folder, which the root's own $folder hides"
    done
done

# Makes the root when it is missing and installs the packages when its list is not the one
# above. Under a lock: two runs at once build it once.
make_root() {
    local log="$root.log"
    local wanted
    wanted=$(printf '%s\n' "${packages[@]}" | sort)
    [[ -d "$root" && "$(cat "$root/.tapewren-packages" 2>/dev/null)" == "$wanted" ]] && return 0

    local mirror security
    mirror=${MIRROR:-$(bash "$repo/scripts/apt-mirror.sh" "$suite" || true)}
    [[ -n "$mirror" ]] ||
        die "no apt source of this machine serves $suite (/etc/apt/sources.list*); set MIRROR"
    security=$(bash "$repo/scripts/apt-mirror.sh" "$suite-security" || true)
    : >"$log"
    export DEBIAN_FRONTEND=noninteractive
    if ! command -v debootstrap >/dev/null; then
        echo "with-pipewire-env: installing debootstrap" >&2
        { apt-get update -qq && apt-get install -y -qq --no-install-recommends debootstrap; } \
            >>"$log" 2>&1 || die_log "$log" "debootstrap could not be installed"
    fi
    if [[ ! -d "$root" ]]; then
        echo "with-pipewire-env: making a minimal $suite root in $root from $mirror" >&2
        local new="$root.new"
        rm -rf --one-file-system "$new"
        debootstrap --variant=minbase "$suite" "$new" "$mirror" >>"$log" 2>&1 ||
            die_log "$log" "debootstrap could not make the root (is $mirror reachable?)"
        # No service starts inside the root; D-Bus wants a machine id.
        printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
        chmod 755 "$new/usr/sbin/policy-rc.d"
        tr -d - </proc/sys/kernel/random/uuid >"$new/etc/machine-id"
        mv "$new" "$root"
    fi
    echo "with-pipewire-env: installing ${#packages[@]} packages into $root" >&2
    {
        echo "deb $mirror $suite main"
        echo "deb $mirror $suite-updates main"
        if [[ -n "$security" ]]; then echo "deb $security $suite-security main"; fi
    } >"$root/etc/apt/sources.list"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # apt's maintainer scripts want /proc and /dev; the mounts end with the namespace.
    unshare --mount --propagation private sh -c '
        root=$1
        shift
        mount -t proc proc "$root/proc" && mount -t sysfs sysfs "$root/sys" &&
            mount --rbind /dev "$root/dev" || exit 1
        exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
            DEBIAN_FRONTEND=noninteractive sh -c "apt-get update &&
                apt-get install -y --no-install-recommends $* && apt-get clean"
    ' sh "$root" "${packages[@]}" >>"$log" 2>&1 ||
        die_log "$log" "apt-get could not install the packages into the root"
    echo "$wanted" >"$root/.tapewren-packages"
}

exec 9>"$root.lock"
flock 9
make_root
exec 9>&-

work=$(mktemp -d /tmp/tapewren-pipewire.XXXXXX)
chmod 700 "$work"
# In the background (with this standard input, and the interrupt signals a background job
# would ignore restored) so that a signal to this shell is acted on at once.
(
    trap - INT QUIT
    exec unshare --mount --propagation private --pid --fork --mount-proc --kill-child \
        bash "$0" --in-namespace "$root" "$work" "$@"
) <&0 &
namespace=$!
interrupted=""
# Asks the namespace's first process to stop, which ends everything that runs in the namespace;
# a second signal ends it at once.
interrupt() {
    local first signal=TERM
    [[ -n "$interrupted" ]] && signal=KILL
    interrupted=$1
    first=$(cat "/proc/$namespace/task/$namespace/children" 2>/dev/null) || true
    if [[ -n "$first" ]]; then kill -$signal $first 2>/dev/null || true; fi
}
trap 'interrupt 130' INT
trap 'interrupt 143' TERM
trap 'interrupt 129' HUP
while :; do
    rc=0
    wait "$namespace" || rc=$?
    kill -0 "$namespace" 2>/dev/null || break
done
rm -rf "$work"
exit "${interrupted:-$rc}"
