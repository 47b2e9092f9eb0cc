#pragma once
// The verification pass after a run: reads the product back from its medium
// and checks it against the plan (verifyplan.h). Stops at the first fault,
// so the report names the first file that differed.
//
// Thread rules: none shared; call from one thread. Takes as long as reading
// the product once and the serviced WIMs once more.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "verify/producttree.h"
#include "verify/verifyplan.h"

namespace verify {

// The closed set of outcomes; VerifyMessageKey gives each its text's key.
enum class VerifyResult {
  Ok,
  ProductUnreadable,  // the product (image, volume) cannot be read at all
  SourceUnreadable,   // a file to compare with cannot be read
  FileMissing,        // a file of the source is not in the product
  FileDiffers,        // the product's file reads back differently: data was lost
  WimDamaged,         // a serviced WIM does not verify
  BootFileMissing,    // a boot file or boot entry is missing
  Cancelled,          // the stop flag was set: nothing was judged
};

struct VerifyReport {
  VerifyResult result = VerifyResult::Ok;
  std::string file;          // relative path of the first file at fault
  std::uint64_t offset = 0;  // FileDiffers: first byte that differs
  std::string detail;        // a peer's or library's own words, where any
  std::uint64_t filesChecked = 0;
  std::uint64_t bytesChecked = 0;
};

// Called after each file with the bytes compared so far and in all.
using VerifyProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Checks product against plan. hostPathOf names the product's own file for
// a serviced WIM that has no reference copy (empty: none). A stop flag that
// becomes true ends the pass within one read chunk (Cancelled).
VerifyReport VerifyProduct(const VerifyPlan& plan, ProductTree& product,
                           const std::function<std::string(const std::string&)>& hostPathOf,
                           int bootEntries, const VerifyProgress& progress = {},
                           const std::atomic<bool>* stop = nullptr);

// The translation key of an outcome's message.
const wchar_t* VerifyMessageKey(VerifyResult result);

// wimlib's verification of a WIM file read past the page cache: every
// resource's checksum and the metadata. Empty on success, else wimlib's text.
std::string VerifyWimFile(const std::string& hostPath);

}  // namespace verify
