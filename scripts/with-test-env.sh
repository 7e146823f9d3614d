#!/usr/bin/env bash
# Runs a command inside the test environment: a private runtime folder, an X server (Xvfb) when
# there is no display, and a private PulseAudio daemon whose default output is a null sink "out"
# and whose default input "vmic" carries a steady 440 Hz tone at -6 dBFS.
#
# Usage: scripts/with-test-env.sh COMMAND [ARG...]
# Exports TAPEWREN_TEST_PULSE=1 when the sound server came up.
set -uo pipefail

work=$(mktemp -d /tmp/tapewren-env.XXXXXX)
chmod 700 "$work"
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
# Recordings left by killed test programs stay here, not in the user's own state folder.
export XDG_STATE_HOME="$work/state"
export HOME="${HOME:-$work}"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]] && command -v Xvfb >/dev/null; then
    for n in $(seq 90 140); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
        pids+=($!)
        export DISPLAY=":$n"
        for _ in $(seq 50); do
            [[ -e /tmp/.X11-unix/X$n ]] && break
            sleep 0.1
        done
        break
    done
fi

start_pulse() {
    command -v pulseaudio >/dev/null || return 1
    local conf="$work/client.conf"
    echo "autospawn = no" >"$conf"
    export PULSE_CLIENTCONFIG="$conf"
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
        --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
    pids+=($!)
    local up=""
    for _ in $(seq 100); do
        if pactl info >/dev/null 2>&1; then
            up=1
            break
        fi
        sleep 0.1
    done
    [[ -n "$up" ]] || return 1
    pactl load-module module-null-sink sink_name=out >/dev/null &&
        pactl load-module module-null-sink sink_name=mic >/dev/null &&
        pactl load-module module-remap-source master=mic.monitor source_name=vmic >/dev/null &&
        pactl set-default-sink out && pactl set-default-source vmic || return 1
    (sox -q -n -r 44100 -c 2 -b 16 -t raw - synth 86400 sine 440 vol 0.5 |
        pacat -d mic --raw --rate=44100 --channels=2 --format=s16le --latency-msec=100) \
        >"$work/feed.log" 2>&1 &
    pids+=($!)
    # The remapped input carries nothing for a moment after the feed starts: wait for the tone.
    timeout 10 parec -d vmic --raw --latency-msec=20 2>/dev/null | od -An -tx1 -v |
        grep -m1 -qv '^[ 0]*$' || true
    export TAPEWREN_TEST_PULSE=1
}

if ! start_pulse; then
    echo "with-test-env: no PulseAudio test server; tests that need one will skip" >&2
    cat "$work/pulse.log" >&2 2>/dev/null
fi

"$@"
rc=$?
exit $rc
