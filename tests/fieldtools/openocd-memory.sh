#!/bin/bash
# OpenOCD (its cmsis-dap driver, back end $2) on the preloaded virtual probe ($1), link $3:
# connect, word, halfword and byte accesses through a MEM-AP target, a 1 KiB image loaded and
# dumped back, and every packet in the probe's trace.
set -u
lib=$1 backend=$2 link=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cat "$here/swd-dap.cfg" - > board.cfg <<'CFG'
target create chip.ap mem_ap -dap chip.dap -ap-num 0
CFG
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + 3) & 0xFF for i in range(1024)))' \
    > image.bin
QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_USB=$link QUORVEL_VPROBE_TRACE=$work/trace.txt \
    LD_PRELOAD=$lib openocd -d1 -c "adapter driver cmsis-dap; cmsis_dap_backend $backend" -f board.cfg -c "init
mww 0x20000000 0xCAFEF00D
mww 0x20000004 0x12345678
echo [mdw 0x20000000 2]
mwb 0x20000001 0x55
echo [mdb 0x20000000 4]
mwh 0x20000006 0xBEEF
echo [mdh 0x20000004 2]
load_image image.bin 0x20000400 bin
dump_image back.bin 0x20000400 1024
shutdown" > out.txt 2>&1
status=$?
# Timings vary from run to run; everything else must match.
sed -e 's/ in [0-9.]*s ([0-9.]* KiB\/s)//' -e '/^$/d' out.txt | grep -v -e '^Open On-Chip' \
    -e '^Licensed' -e '^For bug' -e 'openocd.org' -e '^debug_level' > got.txt
cat > want.txt <<'WANT'
0x20000000: cafef00d 12345678 
0x20000000: 0d 55 fe ca 
0x20000004: 5678 beef 
shutdown command invoked
WANT
fail=0
[ "$status" = 0 ] || { echo "openocd exited with $status"; fail=1; }
diff -u want.txt got.txt || fail=1
cmp image.bin back.bin || fail=1
# The trace holds the packets themselves: DAP_SWD_Configure out and its reply in.
case $backend in
hid) out='^write result=65 timeout=0 00 13 00 ' in='^read result=64 timeout=[0-9-]* 13 00 ' ;;
*) out='^write result=2 timeout=[0-9-]* 13 00$' in='^read result=2 timeout=[0-9-]* 13 00$' ;;
esac
grep -q "$out" trace.txt || { echo "no DAP_SWD_Configure in the trace"; fail=1; }
grep -q "$in" trace.txt || { echo "no DAP_SWD_Configure reply in the trace"; fail=1; }
exit $fail
