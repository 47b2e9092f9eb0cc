#include "tools/cli/signaturetext.h"

#include "config/ovmultilangdll.h"
#include "platform/text.h"

namespace {

// Names and fields from packages, listings and databases: shown, never acted on.
std::wstring W(const std::string& s) { return platform::PrintableText(platform::WideFromAnsi(s)); }

const wchar_t* FindingKey(drivers::FindingCode code) {
  using drivers::FindingCode;
  switch (code) {
    case FindingCode::CatalogUnreadable: return L"Drivers Catalog Unreadable";
    case FindingCode::NotCatalog: return L"Drivers Not Catalog";
    case FindingCode::NotSigned: return L"Drivers Catalog Not Signed";
    case FindingCode::Untrusted: return L"Drivers Untrusted Root";
    case FindingCode::FileMismatch: return L"Drivers File Mismatch";
    case FindingCode::BootNotSigned: return L"Drivers Boot Unsigned";
  }
  return L"Drivers Catalog Unreadable";
}

}  // namespace

std::wstring FindingText(const drivers::Finding& f) {
  std::wstring text = W(f.arch) + L": ";
  if (!f.file.empty()) text += W(f.file) + L" ";
  text += Translate(FindingKey(f.code));
  if (!f.detail.empty()) text += L" " + W(f.detail);
  return text;
}

std::wstring FindingLineText(const std::string& line) {
  drivers::Finding finding;
  return drivers::ParseFindingLine(line, finding) ? FindingText(finding) : W(line);
}

std::wstring SignatureStateText(const drivers::PackageRecord& r) {
  if (r.signature.empty()) return Translate(L"Drivers Signature Unchecked");
  std::wstring text = Translate(r.findings.empty() ? L"Drivers Signed For Windows" : L"Drivers Not Signed For Windows");
  if (!r.signer.empty()) text += L", " + Translate(L"Drivers Signed By") + L" " + W(r.signer);
  if (r.unsignedAllowed) text += L" (" + Translate(L"Drivers Added Unsigned") + L")";
  return text;
}
