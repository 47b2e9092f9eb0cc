@echo off
rem Sample post-installation step (x86): lists the USB 3.0 controllers.
pnputil -e
