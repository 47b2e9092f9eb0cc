#pragma once
// The ISO folder and the job's work folder must stay apart: the image made
// inside the work folder would be deleted with it, and the ISO tool must not
// read its own target from the folder it images. Checked by both front ends
// when the ISO folder is chosen, before the work folder is made.

#include <string>

// True when isoFolder is a work folder or lies inside one (the data folder's
// "OvantaToolTmp", a drive's "OvantaToolTmp<N>"), or when the work folder a
// job needing requiredMB would take lies inside isoFolder's tree. Paths are
// compared as the host resolves them (case, "..", links).
bool IsoFolderClashesWithWorkFolder(const std::wstring& isoFolder, int requiredMB);
