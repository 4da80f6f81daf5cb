#!/usr/bin/env bash
# Launches `vi801 --card=emulated` many times on a virtual display while two
# busy loops keep both cores loaded, and checks that every launch shows its
# detection dialog within the bound (and, with --midi-in, the main window
# within the bound after OK). The sound server is absent, running, starting
# or stopping at the moment of the launch, or held (SIGSTOP) through it, as a
# wedged server is. A launch that misses the bound has its threads dumped by
# gdb at that moment; one that shows nothing within 30 s counts as hung and
# is killed.
#
# Usage: scripts/stress-startup.sh PATH/TO/vi801 [launches per condition] [condition...]
# Conditions: none running starting stopping held midi-none midi-running
#             midi-starting midi-stopping midi-held (default: all)
# Results go to a folder of their own (its name is printed): one line per
# launch in launches.txt, dumps and the program's output of each late launch.
# Build with debug information (CMAKE_BUILD_TYPE=Debug or RelWithDebInfo) for
# readable dumps. The JACK server runs under a name of its own, so the tests'
# servers are left alone.
set -uo pipefail

if [[ $# -lt 1 ]]; then
    sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
if [[ -z "${DISPLAY:-}" ]]; then
    # No reset when the last client leaves: a launch in that moment would
    # find no display.
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$@"
fi

program=$(realpath "$1")
per=${2:-25}
shift $(($# >= 2 ? 2 : 1))
conditions=("$@")
[[ ${#conditions[@]} -eq 0 ]] &&
    conditions=(none running starting stopping held
        midi-none midi-running midi-starting midi-stopping midi-held)
data=$(realpath "$(dirname "$0")/../data")
bound_ms=${VI801_STRESS_BOUND_MS:-2000}
hung_ms=30000
results=$(mktemp -d /tmp/vi801-stress.XXXXXX)
server="vi801-stress-$$"
export JACK_DEFAULT_SERVER=$server
export QT_QPA_PLATFORM=xcb
# What the launches remember stays with the results, not in the user's own.
export XDG_CONFIG_HOME=$results/config
dialog_title='^Device detection - VI 801$'
main_title='^Midi Synthesizer - VI 801$'

now_ms() { echo $(($(date +%s%N) / 1000000)); }

spinners=()
jack_pid=
cleanup() {
    for p in "${spinners[@]}"; do kill "$p" 2>/dev/null; done
    stop_jack
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_load() {
    for _ in 1 2; do
        bash -c 'while :; do :; done' &
        spinners+=($!)
    done
}

# Started in the background; waits for it only when asked.
start_jack() {
    [[ -n "$jack_pid" ]] && return
    jackd -n "$server" -r -d dummy -r 48000 -p 128 >>"$results/jackd.log" 2>&1 &
    jack_pid=$!
    [[ "${1:-}" == wait ]] && jack_wait -s "$server" -n "$server-wait" -w -t 10 >/dev/null 2>&1
}

# SIGTERM lets the server clean up its registry entry and sockets.
stop_jack() {
    [[ -z "$jack_pid" ]] && return
    kill -CONT "$jack_pid" 2>/dev/null
    kill -TERM "$jack_pid" 2>/dev/null
    for _ in $(seq 150); do
        kill -0 "$jack_pid" 2>/dev/null || break
        sleep 0.1
    done
    wait "$jack_pid" 2>/dev/null
    jack_pid=
}

# The id of the visible window with this title, polled until a deadline.
wait_window() {
    local title=$1 deadline=$2 id
    while (($(now_ms) < deadline)); do
        id=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1)
        [[ -n "$id" ]] && {
            echo "$id"
            return 0
        }
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.02
    done
    return 1
}

# gdb holds the program while it reads the symbols, seconds under load: the
# time it took is taken off the figure of the launch.
dump() {
    local start
    start=$(now_ms)
    gdb -batch -ex 'thread apply all bt' -p "$pid" >"$1" 2>&1
    echo $(($(now_ms) - start)) >"$1.ms"
}

# Waits for a window; a late one is dumped once at the bound. Prints the
# milliseconds from `since` and the window, -1 when it never came, or -2
# when the program ended first.
timed_window() {
    local title=$1 since=$2 tag=$3 id
    if id=$(wait_window "$title" $((since + bound_ms))); then
        echo "$(($(now_ms) - since)) $id"
        return
    fi
    kill -0 "$pid" 2>/dev/null || { echo -2; return; }
    dump "$results/$tag.late.txt"
    if id=$(wait_window "$title" $((since + hung_ms))); then
        echo "$(($(now_ms) - since - $(cat "$results/$tag.late.txt.ms"))) $id"
        return
    fi
    kill -0 "$pid" 2>/dev/null || { echo -2; return; }
    dump "$results/$tag.hung.txt"
    echo -1
}

change_server() {
    if [[ $server_change == starting ]]; then start_jack; else kill -TERM "$jack_pid"; fi
}

# Before the moment: the change, then up to 0.1 s. After it: up to 0.25 s,
# then the change.
change_around() {
    local when=$1 early=$2
    if [[ $when == before ]] && ((early)); then
        change_server
        sleep "0.0$((RANDOM % 10))"
    elif [[ $when == after ]] && ! ((early)); then
        sleep "$(jitter)"
        change_server
    fi
}

# A random moment after the launch, in seconds: 0 to 0.25.
jitter() { printf '0.%03d' $((RANDOM % 250)); }

launch() {
    local condition=$1 n=$2 tag="$1-$2" midi=() server_change= t0 dialog main=- outcome=ok
    [[ $condition == midi-* ]] && midi=(--midi-in=virtual)
    case ${condition#midi-} in
    none) stop_jack ;;
    running) start_jack wait ;;
    starting) stop_jack ;;
    stopping) start_jack wait ;;
    held)
        start_jack wait
        kill -STOP "$jack_pid"
        ;;
    esac
    # The server changes around the launch, or with --midi-in around OK,
    # where the input is opened; half the time just before, half just after.
    local early=$((RANDOM % 2))
    [[ ${condition#midi-} == starting || ${condition#midi-} == stopping ]] &&
        server_change=${condition#midi-}
    [[ -n "$server_change" && -z "${midi[*]}" ]] && change_around before "$early"
    t0=$(now_ms)
    (cd "$data" && exec "$program" --card=emulated "${midi[@]}") >"$results/$tag.out" 2>&1 &
    pid=$!
    [[ -n "$server_change" && -z "${midi[*]}" ]] && change_around after "$early"
    local window
    read -r dialog window < <(timed_window "$dialog_title" "$t0" "$tag")
    if ((dialog < 0)); then
        outcome=$( ((dialog == -1)) && echo hung || echo died)
    elif ((${#midi[@]})); then
        [[ -n "$server_change" ]] && change_around before "$early"
        # OK opens the main window, which opens the input. A click, not a
        # key: a key sent to a window that closes on its press stays down.
        local t1
        t1=$(now_ms)
        xdotool mousemove --window "$window" 217 156 click 1 2>/dev/null
        [[ -n "$server_change" ]] && change_around after "$early"
        read -r main _ < <(timed_window "$main_title" "$t1" "$tag-main")
        ((main < 0)) && outcome=$( ((main == -1)) && echo hung || echo died)
    fi
    [[ $outcome == ok ]] && ((dialog > bound_ms || ${main/-/0} > bound_ms)) && outcome=late
    kill -TERM "$pid" 2>/dev/null # closes the window in front, as the user would
    local end=$(($(now_ms) + 10000))
    while kill -0 "$pid" 2>/dev/null && (($(now_ms) < end)); do sleep 0.05; done
    if kill -0 "$pid" 2>/dev/null; then
        dump "$results/$tag.exit.txt"
        kill -KILL "$pid" 2>/dev/null
        [[ $outcome == ok ]] && outcome=slow-exit
    fi
    wait "$pid" 2>/dev/null
    local status=$?
    # Not counted: the two signals the script sends itself.
    local signal=$((status > 128 ? status - 128 : 0))
    ((signal && signal != 9 && signal != 15)) && outcome="$outcome+signal$signal"
    for core in "$data"/core "$data"/core.*; do
        [[ -f "$core" ]] && mv "$core" "$results/$tag.core"
    done
    [[ $outcome == ok ]] && rm -f "$results/$tag.out"
    [[ ${condition#midi-} == held ]] && kill -CONT "$jack_pid"
    [[ $server_change == stopping ]] && stop_jack
    echo "$condition $n dialog_ms=$dialog main_ms=$main $outcome" | tee -a "$results/launches.txt"
}

ulimit -c unlimited # a crash leaves its core beside the results
echo "results in $results; load: two busy loops, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
start_load
for ((i = 1; i <= per; ++i)); do
    for condition in "${conditions[@]}"; do
        launch "$condition" "$i"
    done
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "condition launches ok late hung died crashed slowest_dialog_ms slowest_main_ms"
awk '{
    c = $1; n[c]++
    if ($5 ~ /[+]signal/) { crashed[c]++; sub(/[+]signal.*/, "", $5) }
    o[c, $5]++
    split($3, d, "="); split($4, m, "=")
    if (d[2] + 0 > sd[c]) sd[c] = d[2] + 0
    if (m[2] != "-" && m[2] + 0 > sm[c]) sm[c] = m[2] + 0
} END {
    for (c in n) printf "%s %d %d %d %d %d %d %d %d\n", c, n[c], o[c, "ok"], o[c, "late"],
            o[c, "hung"], o[c, "died"], crashed[c], sd[c], sm[c]
}' "$results/launches.txt" | sort
