#!/bin/bash
# The virtual STM32F030 through the preloaded probe ($1), back end $6 on link $7, with the field's
# own tools: OpenOCD's stm32f0x target and stm32f1x flash driver write the tiny firmware ($4 ELF,
# $5 binary) and quorvel-cli ($2, test pack $3) verifies it; quorvel-cli programs it and OpenOCD
# verifies; gdb loads it through OpenOCD, stops at main, steps and shows the registers. The flash
# is kept in a file between the processes.
set -u
lib=$1 cli=$2 pack=$3 elf=$4 bin=$5 backend=$6 link=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export QUORVEL_VPROBE_KIND=cmsis-dap QUORVEL_VPROBE_USB=$link QUORVEL_VPROBE_TARGET=stm32f030 \
    QUORVEL_VPROBE_FLASH_FILE=$work/flash.img QT_QPA_PLATFORM=offscreen
transport=hid
[ "$backend" = hid ] || transport=bulk
ocd=(openocd -d1 -c "adapter driver cmsis-dap; cmsis_dap_backend $backend; transport select swd"
     -f target/stm32f0x.cfg -c "gdb_port disabled; tcl_port disabled; telnet_port disabled")
quorvel() { LD_PRELOAD=$lib "$cli" "$@" --via swd --transport "$transport" --pack "$pack" \
    --target STM32F030C8; }
fail=0
check() { # what, status, expected last line, output file
    [ "$2" = 0 ] || { echo "$1: exit $2"; cat "$4"; fail=1; }
    grep -qxF "$3" "$4" || { echo "$1: no line '$3'"; cat "$4"; fail=1; }
}

LD_PRELOAD=$lib "${ocd[@]}" -c "init; reset halt; flash write_image erase $elf
echo done; shutdown" > ocd-write.txt 2>&1
check "openocd write" $? "done" ocd-write.txt
quorvel verify "$bin@0x08000000" > q-verify.txt 2>&1
check "quorvel verify" $? "Files match the chip contents!" q-verify.txt

rm -f flash.img
quorvel program "$bin@0x08000000" --no-record > q-program.txt 2>&1
check "quorvel program" $? "Programmed successfully!" q-program.txt
LD_PRELOAD=$lib "${ocd[@]}" -c "init; reset halt
echo [verify_image $elf]; shutdown" > ocd-verify.txt 2>&1
sed -i -e 's/ in [0-9.]*s ([0-9.]* KiB\/s)//' ocd-verify.txt
check "openocd verify" $? "verified $(stat -c %s "$bin") bytes" ocd-verify.txt

# gdb drives OpenOCD over a pipe; the flash starts blank again.
rm -f flash.img
cat > pipe.sh <<PIPE
#!/bin/bash
LD_PRELOAD=$lib exec openocd -d1 -c "adapter driver cmsis-dap; cmsis_dap_backend $backend" \\
    -c "transport select swd" -f target/stm32f0x.cfg \\
    -c "gdb_port pipe; tcl_port disabled; telnet_port disabled" -c "init; reset halt"
PIPE
chmod +x pipe.sh
gdb-multiarch -nx -batch -ex 'set pagination off' -ex 'set confirm off' \
    -ex "target extended-remote | $work/pipe.sh" \
    -ex 'load' -ex 'break main' -ex 'continue' -ex 'stepi' -ex 'info registers pc sp' \
    -ex 'print/x *(unsigned int *)0x40015800' -ex 'kill' "$elf" > gdb.txt 2>&1
status=$?
[ "$status" = 0 ] || { echo "gdb: exit $status"; fail=1; }
main=$(arm-none-eabi-nm "$elf" | awk '$3 == "main" { print $1 }')
for want in "^Breakpoint 1 at 0x[0-9a-f]*: file .*main.c, line [0-9]*\.$" \
            "^Breakpoint 1, main () at .*main.c:[0-9]*$" \
            "^Start address 0x0*8[0-9a-f]*, load size [0-9]*$" \
            "^pc  *0x0*8[0-9a-f]*  *0x8[0-9a-f]* <main+[0-9]*>$" \
            "^sp  *0x20001[0-9a-f]*  *0x20001[0-9a-f]*$" \
            "^\\\$1 = 0x10000440$"; do
    grep -q "$want" gdb.txt || { echo "gdb: no line matching $want"; fail=1; }
done
[ -n "$main" ] || { echo "no main in $elf"; fail=1; }
[ "$fail" = 0 ] || cat gdb.txt
[ -z "${SHOW_GDB:-}" ] || cat gdb.txt
exit $fail
