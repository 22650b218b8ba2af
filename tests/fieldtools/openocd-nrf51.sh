#!/bin/bash
# OpenOCD's own nrf51 target and flash driver (back end $2, link $3) on the virtual nRF51822
# behind the preloaded probe ($1): examine, write the firmware ($4 hex, $5 bin) and run it; then
# quorvel-cli ($6, pack $7) verifies what OpenOCD wrote, and OpenOCD verifies what quorvel-cli
# wrote. The firmware's line reaches the UART file each time.
set -u
lib=$1 backend=$2 link=$3 hex=$4 bin=$5 cli=$6 pack=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_TARGET=nrf51822 QUORVEL_VPROBE_USB=$link \
    QUORVEL_VPROBE_FLASH_FILE=$work/flash.img QUORVEL_VPROBE_UART=$work/uart.txt \
    QUORVEL_RECORD=$work/record.sqlite
case $backend in hid) transport=hid ;; *) transport=bulk ;; esac
hello=$'QUORVEL NRF51 HELLO\r'
fail=0
openocd_run() {
    LD_PRELOAD=$lib openocd -c "adapter driver cmsis-dap; cmsis_dap_backend $backend" \
        -c "gdb_port disabled; tcl_port disabled; telnet_port disabled" \
        -f target/nrf51.cfg -c init -c halt "$@" -c "reset run" -c shutdown > openocd.txt 2>&1
}
check() { # what, expected line, file
    grep -qxF -- "$2" "$3" || { echo "$1: no line '$2' in:"; cat "$3"; fail=1; }
}
cli_run() {
    LD_PRELOAD=$lib "$cli" "$@" --via swd --pack "$pack" --target nRF51822_xxAA \
        --transport $transport > cli.txt 2>&1 || { echo "quorvel-cli $1 failed:"; cat cli.txt; fail=1; }
}

openocd_run -c "flash write_image erase $hex" -c "verify_image $hex" ||
    { echo "openocd exited with $?"; fail=1; }
check examine 'Info : [nrf51.cpu] Cortex-M0 r0p0 processor detected' openocd.txt
check probe 'Info : nRF51822-QFAA(build code: H0) 256kB Flash, 16kB RAM' openocd.txt
sed -i 's/ in [0-9.]*s ([0-9.]* KiB\/s)//' openocd.txt
check write "wrote $(stat -c%s "$bin") bytes from file $hex" openocd.txt
check uart "$hello" uart.txt
cli_run verify "$bin@0"

rm -f flash.img uart.txt
cli_run program "$bin@0" --reset
check uart "$hello" uart.txt
openocd_run -c "verify_image $hex" || { echo "openocd exited with $?"; fail=1; }
sed -i 's/ in [0-9.]*s ([0-9.]* KiB\/s)//' openocd.txt
check verify "verified $(stat -c%s "$bin") bytes" openocd.txt
exit $fail
