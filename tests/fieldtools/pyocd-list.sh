#!/bin/bash
# pyOCD through its hidapi back end (python3-hid) on the preloaded virtual probe ($1): the probe
# is listed with the serial number its USB descriptors and DAP_Info carry.
set -u
lib=$1
got=$(QUORVEL_VPROBE_KIND=cmsis-dap PYOCD_USB_BACKEND=hidapiusb LD_PRELOAD=$lib \
    /usr/bin/python3 /usr/bin/pyocd-flashtool -l 2>&1)
status=$?
want=' 0 => ARM Quorvel Virtual CMSIS-DAP | QVP00000001'
[ "$status" = 0 ] || { echo "pyocd-flashtool exited with $status"; echo "$got"; exit 1; }
grep -qxF -- "$want" <<< "$got" || { echo "not listed:"; echo "$got"; exit 1; }
