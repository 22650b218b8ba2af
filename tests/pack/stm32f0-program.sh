#!/bin/bash
# quorvel-cli ($1) programs the tiny firmware ($4) onto the virtual board's STM32F0 parts through
# the preloaded probe ($2), with the test pack in $3, over HID and bulk, and resets: the
# firmware's line then appears in the UART file.
set -u
cli=$1 lib=$2 pack=$3 image=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
while read -r part target transport link; do
    uart=$work/uart-$part-$transport.txt
    QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_USB=$link QUORVEL_VPROBE_TARGET=$part \
        QUORVEL_VPROBE_UART=$uart QT_QPA_PLATFORM=offscreen LD_PRELOAD=$lib \
        "$cli" program "$image@0x08000000" --via swd --transport "$transport" --pack "$pack" \
        --target "$target" --reset --no-record > "$work/out.txt" 2>&1
    status=$?
    [ "$status" = 0 ] || { echo "$part $transport: exit $status"; cat "$work/out.txt"; fail=1; }
    [ "$(tail -n 1 "$work/out.txt")" = "Programmed successfully!" ] ||
        { echo "$part $transport: no success line"; cat "$work/out.txt"; fail=1; }
    # The board runs in the CLI's process; the line is written before it exits. Waited for all
    # the same, bounded, should a slow file system lag.
    for _ in $(seq 100); do
        [ -s "$uart" ] && break
        sleep 0.1
    done
    printf 'hello from stm32f0-hello\n' | cmp - "$uart" || { echo "$part $transport: UART"; fail=1; }
done <<'CASES'
stm32f030 STM32F030C8 hid fs-hid
stm32f030 STM32F030C8 bulk hs-bulk
stm32f072 STM32F072RB hid fs-hid
stm32f072 STM32F072RB bulk fs-bulk
CASES
exit $fail
