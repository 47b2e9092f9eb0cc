#include "drivers/packagerecord.h"

#include <algorithm>

#include "platform/fs/ini.h"
#include "platform/text.h"

namespace drivers {
namespace {

constexpr const wchar_t* kSection = L"package";

// A record line holds one value: control characters (a newline in a
// folder name) would start another.
std::string OneLine(const std::string& value) {
  std::string out = value;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  return out;
}

std::string Join(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) out += (out.empty() ? "" : " ") + v;
  return out;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

struct ProofWord {
  SignatureProof proof;
  const char* name;
};
constexpr ProofWord kProofWords[] = {
    {SignatureProof::Whql, "whql"},           {SignatureProof::CrossSigned, "cross"},
    {SignatureProof::Sha256Only, "sha256"},   {SignatureProof::UnacceptedRoot, "untrusted"},
    {SignatureProof::NotSigned, "unsigned"},
};

}  // namespace

const char* ProofName(SignatureProof proof) {
  for (const auto& w : kProofWords)
    if (w.proof == proof) return w.name;
  return "unsigned";
}

SignatureProof ParseProof(const std::string& name) {
  for (const auto& w : kProofWords)
    if (name == w.name) return w.proof;
  return SignatureProof::NotSigned;
}

bool PackageRecord::Serves(const std::string& arch) const {
  return std::find(archs.begin(), archs.end(), arch) != archs.end();
}

std::string PackageRecord::ArchText() const { return Join(archs); }

std::string RecordText(const PackageRecord& r) {
  std::string text = "[package]\n";
  auto line = [&](const char* key, const std::string& value) { text += std::string(key) + " = \"" + OneLine(value) + "\"\n"; };
  line("name", r.name);
  line("inf", r.inf);
  line("origin", r.origin);
  line("added", r.added);
  line("provider", r.provider);
  line("class", r.cls);
  line("kind", r.kind == PackageKind::Storage ? "storage" : "usb");
  line("version", r.version);
  line("date", r.date);
  line("architectures", Join(r.archs));
  line("sample", r.sample ? "yes" : "no");
  line("signer", r.signer);
  line("signature", r.signature);
  line("proof", ProofName(r.proof));
  line("digest", r.digest);
  line("unsigned", r.unsignedAllowed ? "yes" : "no");
  for (const auto& f : r.findings) line("finding", f);
  for (const auto& id : r.hardwareIds) line("hardware_id", id);
  return text;
}

bool ParseRecord(const std::string& bytes, PackageRecord& out) {
  out = PackageRecord();
  const platform::IniDocument doc = platform::IniDocument::Parse(bytes);
  const platform::IniSection* section = doc.Section(kSection);
  if (!section) return false;
  for (const auto& e : section->entries) {
    const std::wstring key = platform::UpperCase(e.key);
    const std::string value = platform::AnsiFromWide(e.value);
    if (key == L"NAME") out.name = value;
    else if (key == L"INF") out.inf = value;
    else if (key == L"ORIGIN") out.origin = value;
    else if (key == L"ADDED") out.added = value;
    else if (key == L"PROVIDER") out.provider = value;
    else if (key == L"CLASS") out.cls = value;
    else if (key == L"KIND") out.kind = value == "storage" ? PackageKind::Storage : PackageKind::Usb;
    else if (key == L"VERSION") out.version = value;
    else if (key == L"DATE") out.date = value;
    else if (key == L"ARCHITECTURES") out.archs = Split(value);
    else if (key == L"SAMPLE") out.sample = value == "yes";
    else if (key == L"HARDWARE_ID") out.hardwareIds.push_back(value);
    else if (key == L"SIGNER") out.signer = value;
    else if (key == L"SIGNATURE") out.signature = value;
    else if (key == L"PROOF") out.proof = ParseProof(value);
    else if (key == L"DIGEST") out.digest = value;
    else if (key == L"UNSIGNED") out.unsignedAllowed = value == "yes";
    else if (key == L"FINDING") out.findings.push_back(value);
  }
  return !out.name.empty() && !out.inf.empty();
}

}  // namespace drivers
