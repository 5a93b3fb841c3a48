#!/usr/bin/env bash
# Writes the station's settings file auto.ini (336 bytes) for the demo:
#   scripts/demo-settings.sh PORT ECU_TYPE FILE
# PORT is the name typed into "Настройка соединения" (at most 7 characters, e.g. pts/3),
# ECU_TYPE 0 ("TAVRO - KX4.2") or 1 ("КАРНЕЛ  -   5.1"). The five display groups of both
# ECU families are filled with a sensible choice, so "Диагностика" shows values at once.
# An existing 336-byte FILE keeps everything but the port name and the ECU type.
# Layout (little-endian): group lists 2 x 5 x 29 bytes at 0 (255 = empty slot), group
# counts 2 x 5 at 290, port name 8 at 300, request delay 4 at 308, window top 4, left 4,
# saved height 4, saved width 4, window state 1 at 328, 3 reserved, ECU type 1 at 332,
# 3 reserved.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 PORT ECU_TYPE FILE" >&2; exit 2; }
port=$1 ecu=$2 file=$3
if [ ${#port} -gt 7 ] || [ -z "$port" ]; then
  echo "demo-settings: the port name '$port' does not fit the 7 characters of auto.ini" >&2
  exit 1
fi
case "$ecu" in 0|1) ;; *) echo "demo-settings: ECU type must be 0 or 1" >&2; exit 2 ;; esac

byte() { printf "\\x$(printf %02x "$1")"; }
int32() { byte $(($1 & 255)); byte $((($1 >> 8) & 255)); byte $((($1 >> 16) & 255)); byte $((($1 >> 24) & 255)); }
fill() { local n=$1 value=$2; for ((i = 0; i < n; i++)); do byte "$value"; done; }
# A group list: the parameter indices, then 255 up to the 29 slots.
group() { local n=0; for p in "$@"; do byte "$p"; n=$((n + 1)); done; fill $((29 - n)) 255; }
name() { printf '%s' "$1"; fill $((8 - ${#1})) 0; }

# Parameter indices of the two catalogues, at most 16 to a group.
type0=(
  "0 1 7 11 12 14 16 9"        # engine: coolant, speed, throttle, supply, ignition, injection, air, vehicle speed
  "2 3 5 15 17 19 23"          # idle: speed, wanted speed, stepper, wanted air, adaptations, idle flag
  "4 18 20 21 28"              # oxygen sensor and self-learning
  "22 23 24 25 26 27"          # flags
  "0 1 2 6 10 13 16 8"         # load and knock
)
type1=(
  "0 3 2 8 10 12 13 9"         # engine: coolant, speed, throttle, ignition, supply, injection, air, vehicle speed
  "4 5 6 11 18 26"             # idle
  "1 7 14 15 16 21"            # mixture and fuel
  "17 18 19 20 21 22 23 24"    # flags, byte 4
  "25 26 27 28 29 30 31 32 33" # flags, byte 5, and the ROM sum
)

write_new() {
  {
    for g in "${type0[@]}"; do group $g; done
    for g in "${type1[@]}"; do group $g; done
    for g in "${type0[@]}"; do set -- $g; byte $#; done
    for g in "${type1[@]}"; do set -- $g; byte $#; done
    name "$port"
    int32 100            # request delay, ms
    int32 0; int32 0     # window top and left
    int32 0; int32 0     # saved height and width
    byte 0; fill 3 0     # window state normal, reserved
    byte "$ecu"; fill 3 0
  } > "$file"
}

if [ -f "$file" ] && [ "$(stat -c %s "$file")" -eq 336 ]; then
  name "$port" | dd of="$file" bs=1 seek=300 conv=notrunc status=none
  byte "$ecu" | dd of="$file" bs=1 seek=332 conv=notrunc status=none
else
  write_new
fi
