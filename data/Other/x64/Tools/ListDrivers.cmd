@echo off
rem Sample post-installation step (x64): lists the USB 3.0 controllers.
pnputil -e
