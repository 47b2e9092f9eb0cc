#pragma once
// The machine's driver library: one folder per package,
// "<library>/<inf>_<16 hex>/" (the first digits of the SHA-256 of its
// files' names and contents) holding record.ini and files/ (the INF, its
// catalog and the files it lists, as they lay beside the INF). A package
// is written into a private folder of the library and renamed into place,
// so a reader sees it whole or not at all; the same package added again
// (the same whole digest in the record) changes nothing, and another one
// under the same name is refused. Packages of older libraries, named with
// 8 hex digits of another hash and without a digest in their record, are
// listed and used as they are; adding such a package again stores it anew
// under its new name.
//
// Changing the system's library needs root; a profile's library needs its
// owner (or root). Every folder written is checked first (TrustedFolder).

#include <string>
#include <vector>

#include "drivers/libraryplace.h"
#include "drivers/packagerecord.h"
#include "drivers/packagescan.h"

namespace drivers {

enum class AddOutcome { Added, AlreadyThere, Failed };

class DriverLibrary {
 public:
  explicit DriverLibrary(LibraryPlace place) : place_(std::move(place)) {}
  const LibraryPlace& Place() const { return place_; }

  // False with a message when this process may not change the library
  // (not root for the system's library).
  bool MayChange(std::string& error) const;

  // Stores a package with its record (origin, added, sample filled here;
  // the signature fields as the caller set them in package.record).
  AddOutcome Add(const FoundPackage& package, const std::string& origin, bool sample, std::string& error);
  // False when no package has that name or it cannot be removed.
  bool Remove(const std::string& name, std::string& error);

  // Every package with a readable record, by name.
  std::vector<PackageRecord> List() const;
  // The packages a run for arch ("x86", "amd64") uses: sample packages only
  // when the library's place lets them count.
  std::vector<PackageRecord> ForArch(const std::string& arch) const;
  // The folder of a package's files.
  std::string FilesFolder(const std::string& name) const;

 private:
  LibraryPlace place_;
};

}  // namespace drivers
