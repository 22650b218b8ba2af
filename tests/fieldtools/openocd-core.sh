#!/bin/bash
# OpenOCD's cortex_m target (back end $2) on the preloaded virtual probe ($1), link $3, part $4:
# examine, a three-word program written into flash through the part's own controller, reset halt
# at its reset vector, a step, a hardware breakpoint hit, halt and resume, and a 1 KiB image
# loaded and checked by OpenOCD's CRC routine running on the core.
set -u
lib=$1 backend=$2 link=$3 part=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cat "$here/swd-dap.cfg" - > board.cfg <<'CFG'
target create chip.cpu cortex_m -dap chip.dap -work-area-phys 0x20001000 -work-area-size 0x800
cortex_m reset_config sysresetreq
CFG
# The program, at the start of the part's flash: MSP 0x20002000, reset at +8: adds r0, #1; b +8.
base=0x08000000
case $part in
qs64)
    cpu='Cortex-M0+ r0p1'
    # Unlock, program session, program mode; each word waits out the busy flag.
    flash='mww 0x40010000 0x7B3D1F05
mww 0x40010000 0x84C2E0FA
mww 0x40010010 2
mww 0x40010004 1
foreach {a v} {0x08000000 0x20002000 0x08000004 0x08000009 0x08000008 0xe7fd3001} {
    mww $a $v
    while {[read_memory 0x4001000C 32 1] & 1} {}
}
mww 0x40010004 0x80' ;;
stm32f0*)
    cpu='Cortex-M0 r0p0'
    # KEYR unlock, PG, one halfword at a time, BSY polled.
    flash='mww 0x40022004 0x45670123
mww 0x40022004 0xCDEF89AB
mww 0x40022010 1
foreach {a v} {0x08000000 0x2000 0x08000002 0x2000 0x08000004 0x0009 0x08000006 0x0800
               0x08000008 0x3001 0x0800000a 0xe7fd} {
    mwh $a $v
    while {[read_memory 0x4002200C 32 1] & 1} {}
}
mww 0x40022010 0x80' ;;
nrf51822)
    cpu='Cortex-M0 r0p0'
    base=0x00000000
    # NVMC write enable, word by word while READY is 0, then read only again.
    flash='mww 0x4001E504 1
foreach {a v} {0x00000000 0x20002000 0x00000004 0x00000009 0x00000008 0xe7fd3001} {
    mww $a $v
    while {!([read_memory 0x4001E400 32 1] & 1)} {}
}
mww 0x4001E504 0' ;;
esac
at() { printf '0x%08x' $((base + $1)); }
word() { printf '%08x' $((base + $1)); }
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + 3) & 0xFF for i in range(1024)))' \
    > image.bin
cat > run.tcl <<TCL
init
halt
$flash
echo "flash [mdw $(at 0) 3]"
reset halt
echo "reset [reg pc] [reg msp]"
step
echo "step [reg pc]"
bp $(at 0xa) 2 hw
resume
wait_halt 5000
echo "breakpoint [reg pc]"
rbp $(at 0xa)
resume
echo "resumed [chip.cpu curstate]"
halt
echo "halted [chip.cpu curstate]"
load_image image.bin 0x20000400 bin
echo [verify_image image.bin 0x20000400 bin]
shutdown
TCL
QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_USB=$link QUORVEL_VPROBE_TARGET=$part \
    LD_PRELOAD=$lib openocd -d2 -c "adapter driver cmsis-dap; cmsis_dap_backend $backend" \
    -f board.cfg -f run.tcl > out.txt 2>&1
status=$?
tr -s ' ' < out.txt | sed -e 's/^ *//' -e 's/ *$//' -e 's/ in [0-9.]*s ([0-9.]* KiB\/s)//' > got.txt
fail=0
[ "$status" = 0 ] || { echo "openocd exited with $status"; fail=1; }
while read -r line; do
    grep -qxF "$line" got.txt || { echo "missing: $line"; fail=1; }
done <<WANT
Info : [chip.cpu] $cpu processor detected
Info : [chip.cpu] target has 4 breakpoints, 2 watchpoints
flash $(at 0): 20002000 $(word 9) e7fd3001
xPSR: 0x01000000 pc: $(at 8) msp: 0x20002000
reset pc (/32): $(at 8)
msp (/32): 0x20002000
[chip.cpu] halted due to single-step, current mode: Thread
step pc (/32): $(at 0xa)
[chip.cpu] halted due to breakpoint, current mode: Thread
breakpoint pc (/32): $(at 0xa)
resumed running
halted halted
verified 1024 bytes
WANT
[ "$fail" = 0 ] || cat out.txt
exit $fail
