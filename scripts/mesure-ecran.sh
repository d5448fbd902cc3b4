#!/usr/bin/env bash
# Measures the whole program as it runs: a private X server (Xvfb, 60 Hz) and a private
# PulseAudio server with a null sink, the instrument on them, and bench/mesure_ecran
# watching the scope window from outside.
#   1. frames per second and CPU share: 1000 x 600 scope window, stereo, triggered, a
#      1 kHz tone, 10 s, with VSync = 2 (the screen's frame rate) and VSync = 0;
#   2. sound-to-screen delay, free running, for the sound-server driver (TypeEntree 1)
#      and the ALSA driver (TypeEntree 0): a step played into the sink until the picture
#      shows it, median and worst of 20, at each capture rate asked (48000 Hz alone by
#      default; the frame figures are taken at the first one).
# Usage: scripts/mesure-ecran.sh [seconds] [trials] [capture rates...]
#   e.g. scripts/mesure-ecran.sh 10 20 48000 8000
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
duree=${1:-10}
essais=${2:-20}
shift $(($# < 2 ? $# : 2))
frequences=("${@:-48000}")
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" --target tamburella mesure_ecran >/dev/null
mesure="$top/build/bench/mesure_ecran"

tmp=$(mktemp -d /tmp/tamburella-mesure-XXXXXX)
chmod 700 "$tmp"
mkdir -p "$tmp/home" "$tmp/pulse" "$tmp/prog"
pids=()
nettoie() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap nettoie EXIT

export XDG_RUNTIME_DIR=$tmp PULSE_RUNTIME_PATH=$tmp/pulse HOME=$tmp/home
export PULSE_SERVER=unix:$tmp/pulse/native
pulseaudio --daemonize=no --exit-idle-time=-1 -n --disallow-exit --use-pid-file=no \
    --load="module-null-sink sink_name=essai rate=48000 channels=2 sink_properties=device.description=Essai" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/pulse/native" \
    --log-target=file:"$tmp/pa.log" >/dev/null 2>&1 &
pids+=($!)
until pactl info >/dev/null 2>&1; do sleep 0.05; done
pactl set-default-source essai.monitor
# A fresh null sink renders ahead: a low-latency reader and a clock reset (see the notes).
parec --latency-msec=10 -d essai.monitor >/dev/null &
pids+=($!)
pactl suspend-sink essai 1
pactl suspend-sink essai 0

# The X server writes its display number once it is ready.
Xvfb -displayfd 5 -screen 0 1280x800x24 -dpi 96 -nolisten tcp -noreset 5>"$tmp/ecran" 2>/dev/null &
pids+=($!)
until [ -s "$tmp/ecran" ]; do sleep 0.05; done
export DISPLAY=:$(head -1 "$tmp/ecran")

cp "$top/build/tamburella" "$tmp/prog/"
sox -n -r 48000 -c 2 -b 16 "$tmp/ton.wav" synth 600 sine 1000 vol 0.5 2>/dev/null

# Starts the program with the given "Defaut" and "Options" keys; sets $prog and $fenetre.
lance() { # <TypeSynchro> <Stéréo> <VSync> <TypeEntree> <Fe>
    printf '[FenetreControl]\r\nGauche=10\r\nHaut=5\r\n[Defaut]\r\nTypeSynchro=%s\r\nDecalageT=250\r\n[Options]\r\nSt\xe9r\xe9o=%s\r\nCanal=3\r\nVSync=%s\r\nTypeEntree=%s\r\nFe=%s\r\nNoEntree=-1\r\n[Ecran]\r\nGauche=10\r\nHaut=200\r\nLargeur=1000\r\nHauteur=600\r\n' \
        "$1" "$2" "$3" "$4" "$5" >"$tmp/prog/tamburella.ini"
    (cd "$tmp/prog" && exec ./tamburella >"$tmp/prog/journal.txt" 2>&1) &
    prog=$!
    fenetre=$(xdotool search --sync --onlyvisible --name '^Scope$' | head -1)
}
arrete() {
    kill "$prog" 2>/dev/null || true
    wait "$prog" 2>/dev/null || true
}

paplay --latency-msec=20 --device=essai "$tmp/ton.wav" 2>/dev/null &
ton=$!
pids+=($ton)
for vsync in 2 0; do
    lance 2 1 "$vsync" 1 "${frequences[0]}"
    printf 'Fe = %s Hz, VSync = %s : ' "${frequences[0]}" "$vsync"
    "$mesure" trames "$fenetre" "$prog" "$duree"
    arrete
done
kill "$ton" 2>/dev/null || true

for fe in "${frequences[@]}"; do
    for type in 1 0; do
        lance 0 0 2 "$type" "$fe"
        printf 'Fe = %s Hz, TypeEntree = %s (%s) : ' "$fe" "$type" \
            "$([ "$type" = 1 ] && echo PulseAudio || echo ALSA)"
        "$mesure" delai "$fenetre" essai "$essais"
        arrete
    done
done
