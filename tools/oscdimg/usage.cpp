#include "tools/oscdimg/tool.h"

namespace oscdimg {

const char* UsageText() {
  return
      "usage: oscdimg [options] <source folder> <image file>\n"
      "\n"
      "Makes an ISO 9660 image (level 3: files of 4 GiB and more are stored in\n"
      "several extents) with Joliet long names from the contents of a folder.\n"
      "Paths may be the system's drive-letter paths or host paths, quoted or not.\n"
      "\n"
      "  -l<label>        volume label, up to 32 characters (default CDROM)\n"
      "  -m               no size limit (this tool has none; accepted)\n"
      "  -o               store files with identical content once\n"
      "  -u1, -udfver102  UDF bridge: a UDF 1.02 file system over the same file\n"
      "                   data as ISO 9660 (names up to 127 characters)\n"
      "  -bootdata:2#p0,e,b<bios image>#pEF,e,b<uefi image>\n"
      "                   El Torito: a BIOS no-emulation entry (4 sectors loaded,\n"
      "                   boot-info table) and a UEFI entry (platform 0xEF)\n"
      "  -bootdata:1#p0,e,b<bios image>\n"
      "                   El Torito: the BIOS entry alone\n"
      "  --help           this text\n"
      "\n"
      "While writing, lines \"NN% complete\" appear on standard output.\n"
      "Exit status: 0 image written; 1 image not made (nothing left behind);\n"
      "2 command line not understood.\n";
}

}  // namespace oscdimg
