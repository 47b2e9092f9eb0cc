#pragma once
// Makes the program's own folder the current folder: config.xml names the
// logo and the licence files relative to it. False when it cannot.

bool EnterProgramFolder();
