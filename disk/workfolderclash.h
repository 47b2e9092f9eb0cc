#pragma once
// The ISO folder must not lie inside a work folder: the image made there
// would be deleted with it, and the ISO tool would read its own target from
// the folder it images. A work folder inside the ISO folder is fine (the
// image goes beside it). Checked by both front ends when the ISO folder is
// chosen, before the work folder is made.

#include <string>

// True when isoFolder is a work folder or lies inside one (the data folder's
// "OvantaToolTmp", a drive's "OvantaToolTmp<N>"). Paths are compared as the
// host resolves them (case, "..", links).
bool IsoFolderClashesWithWorkFolder(const std::wstring& isoFolder);
