#!/usr/bin/env bash
# Takes the README's pictures again: starts kavoda on a simulated 24C16 under
# Xvfb and openbox, reads the chip, opens the Setup dialog, and fills a chip
# that does not take writes, so that the verify reports it.
#   tools/screenshots.sh [BUILD_FOLDER [OUTPUT_FOLDER]]
# (defaults: build and docs/screenshots). Needs xvfb, openbox, xdotool and
# imagemagick; installs them when run as root and they are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd -P)
build=$(cd "${1:-$here/build}" && pwd -P)
out=${2:-$here/docs/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd -P)
kavoda=$build/app/kavoda
[ -x "$kavoda" ] || { echo "no $kavoda: build first" >&2; exit 1; }

missing=()
for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool import:imagemagick; do
    command -v "${tool%%:*}" > /dev/null || missing+=("${tool#*:}")
done
if [ "${#missing[@]}" -gt 0 ]; then
    [ "$(id -u)" -eq 0 ] || { echo "install first: ${missing[*]}" >&2; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-screenshots-XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

# A screen the maximized main window just fills.
exec 3> "$scratch/display"
Xvfb -displayfd 3 -screen 0 640x488x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 50); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
export DISPLAY=:$(cat "$scratch/display")
# Title bars with the icon and the whole caption, no buttons to crowd it.
cat > "$scratch/openbox.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><titleLayout>NL</titleLayout></theme>
</openbox_config>
XML
openbox --config-file "$scratch/openbox.xml" > /dev/null 2>&1 &
pids+=($!)

# The chip's content: a text, then every byte value, so both grids show something.
{
    printf 'KAVODA  24C16  TV SET EEPROM  -- channel table, tuner and geometry data --  '
    for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done
    for _ in $(seq 7); do printf '%0256d' 0 | tr 0 '\377'; done
} | head -c 2048 > "$scratch/chip.bin"

mkdir "$scratch/config" "$scratch/work"
(cd "$scratch/work" && XDG_CONFIG_HOME="$scratch/config" \
    exec "$kavoda" --simulate=24C16 --sim-image "$scratch/chip.bin" --sim-fault=readonly) &
pids+=($!)

window() {  # waits for a visible window whose name matches $1; prints its id
    timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}
main=$(window '^  Kavoda programmer')
# The credits cover the character grid for about eight seconds.
sleep 9

# Positions inside the window: the menu bar's height, then the client's.
menuBar=19
click() {
    xdotool mousemove --window "$main" "$1" $(($2 + menuBar)) click 1
}

# Device 24C... > 24C16 (the fourth item), then Read Device.
xdotool windowactivate --sync "$main" key alt+d Down Down Down Return
click 492 412
for _ in $(seq 300); do
    [ "$(stat -c %s "$scratch/work/Tempor.tmp" 2> /dev/null || echo 0)" -eq 2048 ] && break
    sleep 0.1
done
sleep 0.5  # the meter shows "Operation completed"
import -frame -window "$main" "$out/main-window.png"

xdotool key alt+s
setup=$(window '^Kavoda Port Config$')
sleep 0.5
import -frame -window "$setup" "$out/setup.png"
xdotool key Escape

# Fill Device 00 on a chip that keeps its bytes: the verify names the first difference.
click 436 380
box=$(window '^Kavoda$')
sleep 0.5
import -frame -window "$box" "$out/verify.png"

# A palette of 256 is all these windows use; it halves the files.
for picture in main-window setup verify; do
    convert "$out/$picture.png" -strip -colors 256 "PNG8:$out/$picture.png"
done
ls -l "$out"
