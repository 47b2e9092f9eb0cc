#!/usr/bin/env bash
# The USB chain's faults (cancel at each step, a stick that fills up) wait
# for the USB mode: until kestrunex-cli can run it on a virtual stick, this
# test is skipped and says why.
echo "skipped: the USB mode does not run end to end through kestrunex-cli in this build yet"
exit 77
