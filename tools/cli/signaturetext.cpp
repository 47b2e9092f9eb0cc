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
    case FindingCode::WrongUsage: return L"Drivers Wrong Usage";
    case FindingCode::Sha256Only: return L"Drivers Sha256 Only";
    case FindingCode::TooComplex: return L"Drivers Too Complex";
  }
  return L"Drivers Catalog Unreadable";
}

const wchar_t* ProofKey(drivers::SignatureProof proof) {
  using drivers::SignatureProof;
  switch (proof) {
    case SignatureProof::Whql: return L"Drivers Proof Whql";
    case SignatureProof::CrossSigned: return L"Drivers Proof Cross";
    case SignatureProof::Sha256Only: return L"Drivers Proof Sha256";
    case SignatureProof::UnacceptedRoot: return L"Drivers Proof Untrusted";
    case SignatureProof::NotSigned: break;
  }
  return L"Drivers Proof Unsigned";
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
  const std::wstring proof = Translate(ProofKey(r.proof));
  std::wstring text = r.findings.empty() ? proof : Translate(L"Drivers Not Signed For Windows") + L" (" + proof + L")";
  if (!r.signer.empty()) text += L", " + Translate(L"Drivers Signed By") + L" " + W(r.signer);
  if (r.unsignedAllowed) text += L" (" + Translate(L"Drivers Added Unsigned") + L")";
  return text;
}
