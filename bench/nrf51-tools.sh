#!/bin/bash
# The same 64 KiB image onto the virtual nRF51822, once per tool and link: quorvel-cli, OpenOCD
# (its nrf51 driver) and pyOCD (its nrf51 target; hidapi back end, so HID links only). Whole
# processes, wall clock, the probe paced in real time. Each row prints beside the bound the link
# and the part set: the USB link, the SWD wire at 4 MHz, and the NVMC's own busy time.
# Usage: bench/nrf51-tools.sh <build dir>   (after scripts/bench has built it)
set -u
build=$(cd "${1:-build-bench}" && pwd)
lib=$build/lib/libquorvel-virtualprobe.so
cli=$build/bin/quorvel-cli
[ -x "$cli" ] || cli=$build/quorvel-cli
pack=$build/tests/pack/nrf51pack
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
python3 -c 'import random, sys; random.seed(51); sys.stdout.buffer.write(bytes(random.getrandbits(8) for _ in range(65536)))' > image.bin
export LC_ALL=C QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_TARGET=nrf51822 \
    QUORVEL_VPROBE_FLASH_FILE=$work/flash.img QUORVEL_RECORD=$work/record.sqlite

# One run: seconds on stdout, or "failed" when the tool failed or the flash does not hold the image.
timed() {
    rm -f flash.img
    local start end
    start=$(date +%s.%N)
    if ! "$@" > run.log 2>&1 || ! cmp -s -n 65536 flash.img image.bin; then
        echo failed
        return
    fi
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
quorvel() {
    LD_PRELOAD=$lib "$cli" program --via swd --pack "$pack" --target nRF51822_xxAA image.bin@0 \
        --transport "$1"
}
openocd_flash() {
    LD_PRELOAD=$lib openocd -c "adapter driver cmsis-dap; cmsis_dap_backend $1" \
        -c "gdb_port disabled; tcl_port disabled; telnet_port disabled" -f target/nrf51.cfg \
        -c "adapter speed 4000" -c init -c halt -c "flash write_image erase image.bin 0 bin" \
        -c shutdown
}
pyocd_flash() {
    PYOCD_USB_BACKEND=hidapiusb LD_PRELOAD=$lib /usr/bin/python3 /usr/bin/pyocd-flashtool \
        -t nrf51 -f 4000000 image.bin
}
rate() { [ "$1" = failed ] && echo "—" || printf '%.1f' "$(echo "64 / $1" | bc -l)"; }
ratio() {
    if [ "$1" = failed ] || [ "$2" = failed ]; then echo "—"; else
        printf '%.2f×' "$(echo "$2 / $1" | bc -l)"; fi
}

# The bounds. USB: fs-hid moves one 64-byte report a 1 ms frame each way, of which a transfer
# block carries 15 words; hs-bulk 512-byte packets, 8 a millisecond (a v2 probe's usual 4
# buffers of 1 KiB leave the packets, not the buffers, the limit). SWD: 46 clocks a word
# (8 request, 1 turn, 3 ack, 1 turn, 33 data) at 4 MHz. NVMC: 41 us a word; the chip starts
# blank, so a tool that skips erasing blank pages needs no erase time at all, one that erases
# every page 21 ms a page (shown beside), or 22 ms for the whole chip.
words=16384
hidS=$(echo "$words / 15 * 0.001" | bc -l)
bulkS=$(echo "65536 / (512 * 8000)" | bc -l)
swdS=$(echo "$words * 46 / 4000000" | bc -l)
flashProgram=$(echo "$words * 0.000041" | bc -l)
flashPages=$(echo "$words * 0.000041 + 64 * 0.021" | bc -l)
flashChip=$(echo "$words * 0.000041 + 0.022" | bc -l)

echo "| Link | Quorvel (KiB/s) | OpenOCD (KiB/s) | pyOCD (KiB/s) | Quorvel / OpenOCD | Quorvel / pyOCD | Limit (KiB/s) |"
echo "|---|---|---|---|---|---|---|"
for link in fs-hid hs-bulk; do
    export QUORVEL_VPROBE_USB=$link
    if [ $link = fs-hid ]; then
        q=$(timed quorvel hid); o=$(timed openocd_flash hid); p=$(timed pyocd_flash); usb=$hidS
    else
        q=$(timed quorvel bulk); o=$(timed openocd_flash usb_bulk); p=failed; usb=$bulkS
    fi
    # The slowest of the parts that overlap bounds the whole; name it.
    bound=$(printf '%s usb\n%s swd\n%s nvmc\n' "$usb" "$swdS" "$flashProgram" | sort -g | tail -1)
    limit="$(rate "${bound% *}") (${bound#* } bound; usb $(rate "$usb"), swd $(rate "$swdS"), nvmc $(rate "$flashProgram"); with every page erased $(rate "$flashPages"), chip erase $(rate "$flashChip"))"
    echo "| $link | $(rate "$q") | $(rate "$o") | $(rate "$p") | $(ratio "$q" "$o") | $(ratio "$q" "$p") | $limit |"
done
