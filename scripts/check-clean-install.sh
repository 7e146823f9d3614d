#!/usr/bin/env bash
# Installs Tapewren's Debian package on a clean, minimal Debian 12 and records with it there.
#
# debootstrap makes a bookworm root in a temporary folder from the mirror this machine's apt
# uses; apt-get installs the package into it, pulling its Depends (and nothing it only
# recommends) from that mirror, plus the tools of the check itself. Inside the root, as an
# unprivileged user, a private PulseAudio daemon plays a 440 Hz tone into a null sink "out"
# whose monitor is the default input, Xvfb gives a display, and tapewren is started: Record,
# two seconds, Stop, Save to a path typed into the file dialog. The saved file must be a
# two-second 440 Hz tone. A message box the program shows is reported, kept in a screenshot
# (taken from here with ImageMagick's import, when it is installed) and dismissed with Return.
#
# Not run by CI: it downloads about 200 MB. Needs root (it runs itself through sudo if not).
# Usage: scripts/check-clean-install.sh [PATH_TO_DEB]
#        without a path, the package is built in the build folder TAPEWREN_BUILD_DIR (build).
# Environment: MIRROR (default: the bookworm mirror of this machine's apt sources; there must
#              be one),
#              TAPEWREN_ARTIFACTS (where the logs and screenshots go,
#              default /tmp/tapewren-clean-install; its .log and .png files are replaced).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $(id -u) -ne 0 ]]; then
    exec sudo --preserve-env=MIRROR,TAPEWREN_ARTIFACTS,TAPEWREN_BUILD_DIR bash "$0" "$@"
fi

suite=bookworm
user=tester
caption='Tapewren 音频录音机 V2.1'
seconds=2
artifacts=${TAPEWREN_ARTIFACTS:-/tmp/tapewren-clean-install}

step="start"
step() {
    step=$*
    echo "== $step"
}
die() {
    echo "FAIL [$step]: $*" >&2
    exit 1
}
# die, after the last lines of a log ($1)
die_log() {
    tail -n 20 "$1" >&2
    shift
    die "$@"
}

# The package: given, or built here.
if (($# > 0)); then
    deb=$(realpath "$1")
    [[ -f "$deb" ]] || die "no such package: $1"
else
    build=${TAPEWREN_BUILD_DIR:-build}
    step "Build the package in $build"
    bash scripts/install-deps.sh
    cmake -S . -B "$build" >/dev/null
    cmake --build "$build" -j"$(nproc)" --target tapewren
    rm -f "$build"/tapewren_*.deb
    (cd "$build" && cpack -G DEB >/dev/null)
    deb=$(realpath "$build"/tapewren_*.deb)
fi
echo "package: $deb"

# The mirror and, if there is one, the security archive, from this machine's apt sources.
step "Find the mirror"
mirror=${MIRROR:-$(bash scripts/apt-mirror.sh "$suite" || true)}
[[ -n "$mirror" ]] ||
    die "no apt source of this machine serves $suite (/etc/apt/sources.list*); set MIRROR"
security=$(bash scripts/apt-mirror.sh "$suite-security" || true)
echo "mirror: $mirror${security:+, security: $security}"

export DEBIAN_FRONTEND=noninteractive
if ! command -v debootstrap >/dev/null; then
    step "Install debootstrap"
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends debootstrap
fi

work=$(mktemp -d /var/tmp/tapewren-clean-install.XXXXXX)
root="$work/root"
mkdir -p "$root" "$artifacts"
rm -f "$artifacts"/*.log "$artifacts"/*.png
mounts=()

# Every process whose root is the temporary root was started by this script.
processes_in_root() {
    local proc
    for proc in /proc/[0-9]*; do
        [[ "$(readlink "$proc/root" 2>/dev/null)" == "$root" ]] && echo "${proc#/proc/}"
    done
    return 0
}
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    set +e
    if ((status != 0)); then
        if [[ -s "$artifacts/tapewren.log" ]]; then
            echo "--- what tapewren printed (last lines)" >&2
            tail -n 15 "$artifacts/tapewren.log" >&2
        fi
        echo "FAILED at step: $step" >&2
    fi
    echo "logs and screenshots: $artifacts" >&2
    local pids
    pids=$(processes_in_root)
    if [[ -n "$pids" ]]; then
        kill $pids 2>/dev/null
        sleep 1
        pids=$(processes_in_root)
        [[ -n "$pids" ]] && kill -KILL $pids 2>/dev/null
    fi
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -R "${mounts[i]}" 2>/dev/null || umount -R -l "${mounts[i]}"
    done
    # Never remove a tree that still has anything mounted in it.
    if awk -v r="$root/" 'index($5, r) == 1 { found = 1 } END { exit !found }' \
        /proc/self/mountinfo; then
        echo "still mounted under $root; left in place" >&2
    else
        rm -rf --one-file-system "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

step "debootstrap a minimal $suite root from $mirror"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$artifacts/debootstrap.log" 2>&1 ||
    die_log "$artifacts/debootstrap.log" "debootstrap could not make the root (is $mirror reachable?)"

step "Mount /proc, /sys, /dev and /dev/pts in the root"
mount -t proc proc "$root/proc"
mounts+=("$root/proc")
mount -t sysfs sysfs "$root/sys"
mounts+=("$root/sys")
# /dev with its submounts (/dev/pts, /dev/shm), as a slave so nothing done here reaches the host.
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mounts+=("$root/dev")

step "Install the package and the check's tools with apt-get"
{
    echo "deb $mirror $suite main"
    echo "deb $mirror $suite-updates main"
    [[ -n "$security" ]] && echo "deb $security $suite-security main"
} >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service starts inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp "$deb" "$root/tmp/"
debName=$(basename "$deb")
apt="$artifacts/apt.log"
in_root apt-get update >"$apt" 2>&1 || die_log "$apt" "apt-get update failed"
in_root sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$debName" >>"$apt" 2>&1 ||
    die_log "$apt" "apt-get install ./$debName failed"
echo "$debName: $(grep -m1 'newly installed' "$apt")"
in_root apt-get install -y --no-install-recommends pulseaudio pulseaudio-utils xvfb xdotool sox \
    >>"$apt" 2>&1 || die_log "$apt" "apt-get install of the check's tools failed"
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' tapewren
in_root test -x /usr/bin/tapewren || die "/usr/bin/tapewren is not there after the install"

step "Start the sound server, the tone and the display as user $user"
in_root useradd --create-home --shell /bin/sh "$user"
uid=$(in_root id -u "$user")
gid=$(in_root id -g "$user")
runtime="/run/user/$uid"
mkdir -p "$root$runtime"
chmod 700 "$root$runtime"
chown "$uid:$gid" "$root$runtime"
# What a desktop has and a bare root lacks: the X socket folder, a machine id for D-Bus users.
mkdir -p -m 1777 "$root/tmp/.X11-unix"
[[ -s "$root/etc/machine-id" ]] || tr -d - </proc/sys/kernel/random/uuid >"$root/etc/machine-id"
mkdir -p "$root/home/$user/.config/pulse"
echo "autospawn = no" >"$root/home/$user/.config/pulse/client.conf"
chown -R "$uid:$gid" "$root/home/$user/.config"
# A display number free on this machine: Xvfb's abstract socket is shared with the host.
display=""
for n in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$n || -e "$root/tmp/.X11-unix/X$n" ]] && continue
    grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix && continue
    display=":$n"
    break
done
[[ -n "$display" ]] || die "no free X display number"
as_user() {
    chroot --userspec="$uid:$gid" "$root" /usr/bin/env -i PATH=/usr/bin:/bin LANG=C.UTF-8 \
        HOME="/home/$user" USER="$user" LOGNAME="$user" XDG_RUNTIME_DIR="$runtime" \
        DISPLAY="$display" PULSE_SERVER="unix:$runtime/pulse/native" "$@"
}
as_user pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
    --load=module-native-protocol-unix >"$artifacts/pulseaudio.log" 2>&1 &
for _ in $(seq 100); do
    as_user pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
as_user pactl info >/dev/null 2>&1 ||
    die_log "$artifacts/pulseaudio.log" "the PulseAudio daemon did not start"
as_user pactl load-module module-null-sink sink_name=out >/dev/null
as_user pactl set-default-sink out
as_user pactl set-default-source out.monitor
as_user sh -c 'sox -q -n -r 44100 -c 2 -b 16 -t raw - synth 3600 sine 440 |
    pacat -d out --raw --rate=44100 --channels=2 --format=s16le --latency-msec=100' \
    >"$artifacts/tone.log" 2>&1 &
echo "default source: $(as_user pactl get-default-source)"
# The recording starts with the tone only once the tone has reached the input.
{ as_user timeout 10 parec -d @DEFAULT_SOURCE@ --raw --latency-msec=20 2>/dev/null || true; } |
    { od -An -tx1 -v || true; } | grep -m1 -qv '^[ 0]*$' || die "no tone on the default input"
as_user Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$artifacts/xvfb.log" 2>&1 &
for _ in $(seq 100); do
    as_user xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done
as_user xdotool getmouselocation >/dev/null 2>&1 ||
    die_log "$artifacts/xvfb.log" "Xvfb did not start on $display"

xdo() {
    as_user xdotool "$@"
}
screenshot() {
    # From the host, through the display's abstract socket, when ImageMagick is there. Prints
    # the file's name. Named by the time, as it may run in a subshell.
    command -v import >/dev/null || return 0
    local name
    name="$(date +%H%M%S.%N | cut -c1-10)-$1.png"
    DISPLAY=$display import -window root "$artifacts/$name" 2>/dev/null && echo "$name"
    return 0
}
visible_windows() {
    xdo search --onlyvisible --name '.' 2>/dev/null || true
}
# Closes the message boxes that are up beside the main window, each after a screenshot, with
# Return (its default button). Returns 1 when there was none.
message_boxes() {
    local main=$1 found=1 window
    for window in $(visible_windows); do
        [[ "$window" == "$main" ]] && continue
        found=0
        local name
        name=$(screenshot message-box)
        echo "message box '$(xdo getwindowname "$window")'${name:+ (screenshot $artifacts/$name)}"
        xdo windowfocus --sync "$window" 2>/dev/null || true
        xdo key Return
        sleep 0.5
    done
    return $found
}

step "Start tapewren"
as_user sh -c "cd /home/$user && exec tapewren" >"$artifacts/tapewren.log" 2>&1 &
window=""
for _ in $(seq 150); do
    window=$(xdo search --onlyvisible --name "$caption" 2>/dev/null | head -n1) || true
    [[ -n "$window" ]] && break
    # A message box before the window: report it, dismiss it, and go on.
    if [[ -n "$(visible_windows)" ]]; then
        sleep 0.5
        window=$(xdo search --onlyvisible --name "$caption" 2>/dev/null | head -n1) || true
        [[ -n "$window" ]] && break
        echo "at start-up, before the window:"
        message_boxes none || true
    fi
    sleep 0.2
done
[[ -n "$window" ]] || { screenshot start >/dev/null; die "the window '$caption' did not show"; }
sleep 0.5
message_boxes "$window" && echo "(dismissed at start-up, beside the window)"
screenshot started >/dev/null
echo "window $window: $(xdo getwindowgeometry "$window" | tail -n +2 | tr -s ' ' | tr '\n' ' ')"

click() {
    # $1: what; $2 $3: the point in the window, in pixels.
    echo "click $1 at ($2,$3)"
    xdo mousemove --window "$window" "$2" "$3" click 1
    sleep 0.3
}

step "Record for $seconds s"
click "Record (录音)" 114 95
sleep 0.5
if message_boxes "$window"; then
    die "Record showed a message box instead of recording"
fi
screenshot recording >/dev/null
# The rest of the time, after the 0.3 s of the click and the 0.5 s of the look for a message.
sleep "$(awk -v s="$seconds" 'BEGIN { print s - 0.8 }')"
click "Stop (停止)" 258 95
if message_boxes "$window"; then
    die "Stop showed a message box"
fi
screenshot stopped >/dev/null

step "Save through the file dialog"
saved="/home/$user/take.wav"
click "Save (保存)" 330 95
dialog=""
for _ in $(seq 50); do
    for candidate in $(visible_windows); do
        [[ "$candidate" != "$window" ]] && dialog=$candidate
    done
    [[ -n "$dialog" ]] && break
    sleep 0.1
done
[[ -n "$dialog" ]] || { screenshot save >/dev/null; die "no file dialog after Save"; }
echo "dialog: '$(xdo getwindowname "$dialog")'"
sleep 0.5
screenshot dialog >/dev/null
xdo type --delay 15 "$saved"
sleep 0.5
xdo key Return
for _ in $(seq 50); do
    [[ -f "$root$saved" ]] && break
    sleep 0.1
done
sleep 1
if [[ ! -f "$root$saved" ]]; then
    screenshot not-saved >/dev/null
    message_boxes "$window" || true
    die "no file at $saved after the dialog"
fi
message_boxes "$window" && echo "(dismissed after saving)"
screenshot saved >/dev/null

step "Check the saved file"
info=$(as_user sox --i "$saved" 2>&1) || true
sed '/^$/d' <<<"$info"
stat=$(as_user sox "$saved" -n remix 1 stat 2>&1) || true
grep -E '^(Samples read|Length|Maximum amplitude|RMS +amplitude|Rough +frequency)' <<<"$stat" ||
    echo "$stat"
value() {
    # $1: the label in sox --i or stat output
    awk -F: -v k="$1" '{ key = $1; sub(/[ \t]+$/, "", key) } key == k { gsub(/^[ \t]+/, "", $2); print $2; exit }'
}
rate=$(value "Sample Rate" <<<"$info")
channels=$(value "Channels" <<<"$info")
length=$(value "Length (seconds)" <<<"$stat")
frequency=$(value "Rough   frequency" <<<"$stat")
rms=$(value "RMS     amplitude" <<<"$stat")
problems=()
[[ "$rate" == 44100 ]] || problems+=("sample rate $rate, not 44100")
[[ "$channels" == 2 ]] || problems+=("$channels channels, not 2")
awk -v l="${length:-0}" -v s="$seconds" 'BEGIN { exit !(l > s - 0.5 && l < s + 1) }' ||
    problems+=("length $length s, not about $seconds s")
awk -v f="${frequency:-0}" 'BEGIN { exit !(f >= 420 && f <= 460) }' ||
    problems+=("rough frequency $frequency Hz, not 440 ± 20 Hz")
awk -v a="${rms:-0}" 'BEGIN { exit !(a > 0.05) }' || problems+=("RMS amplitude $rms: silence")
if ((${#problems[@]} > 0)); then
    printf '%s\n' "${problems[@]}" >&2
    die "the saved recording is not a $seconds s 440 Hz tone"
fi

step "Done"
echo "check-clean-install: $(basename "$deb") installs on a clean Debian 12 and records a" \
    "$length s, $frequency Hz tone"
