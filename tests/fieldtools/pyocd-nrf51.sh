#!/bin/bash
# pyOCD (hidapi back end) with its built-in nrf51 target on the virtual nRF51822 behind the
# preloaded probe ($1): memory written and read back, the FICR read, the firmware ($2, a .bin)
# flashed; it lands in flash and prints its line once run.
set -u
lib=$1 bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_TARGET=nrf51822 PYOCD_USB_BACKEND=hidapiusb \
    QUORVEL_VPROBE_FLASH_FILE=$work/flash.img QUORVEL_VPROBE_UART=$work/uart.txt
fail=0
printf '%s\n' "write32 0x20000100 0xCAFEF00D" "read32 0x20000100 4" "read32 0x10000010 8" quit |
    LD_PRELOAD=$lib /usr/bin/python3 /usr/bin/pyocd-tool -t nrf51 -H > tool.txt 2>&1 ||
    { echo "pyocd-tool exited with $?"; fail=1; }
sed -i 's/^\(>>> \)*//' tool.txt # the prompts
for want in '20000100:  cafef00d ' '10000010:  00000400 00000100 '; do
    grep -qxF -- "$want" tool.txt || { echo "no line '$want' in:"; cat tool.txt; fail=1; }
done
LD_PRELOAD=$lib /usr/bin/python3 /usr/bin/pyocd-flashtool -t nrf51 "$bin" > flash.txt 2>&1 ||
    { echo "pyocd-flashtool exited with $?"; cat flash.txt; fail=1; }
cmp -n "$(stat -c%s "$bin")" flash.img "$bin" || fail=1
grep -qxF -- $'QUORVEL NRF51 HELLO\r' uart.txt || { echo "no line on the UART"; fail=1; }
exit $fail
