#include "src/xml/gsxml.h"

#include <tinyxml.h>

#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/fs/paths.h"
#include "platform/fs/readfile.h"
#include "platform/lowercase.h"
#include "platform/text.h"
#include "src/xml/xmlprecheck.h"

namespace gs {

namespace {

bool EqualsNoCaseAscii(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

// Reads the whole file and hands it to TinyXML only when it stays within the
// settings limits, in a buffer TinyXML cannot read past. False for a missing,
// unreadable, oversized, too deeply nested or malformed file.
bool LoadChecked(const std::string& host, TiXmlDocument& doc) {
  std::string text;
  if (platform::ReadHostFile(host, text, kMaxSettingsFileBytes) != platform::ERROR_SUCCESS) return false;
  return ParseChecked(text, doc);
}

// The element right after the leading declaration, or null.
TiXmlElement* RootAfterDeclaration(TiXmlDocument& doc) {
  TiXmlNode* first = doc.FirstChild();
  if (!first || !first->ToDeclaration()) return nullptr;
  TiXmlNode* next = first->NextSibling();
  return next ? next->ToElement() : nullptr;
}

void CreateDefault(TiXmlDocument& doc, const std::string& host) {
  doc.Clear();
  doc.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "no"));  // the document owns its nodes
  doc.LinkEndChild(new TiXmlElement("root"));
  // Only a missing file or a damaged regular one is replaced: a folder, a
  // device or a pipe at the name is left alone (writing to a pipe without a
  // reader would never return).
  if (platform::IsHostNonRegularFile(host)) return;
  doc.SaveFile(host.c_str());
}

}  // namespace

bool ParseChecked(std::string_view text, TiXmlDocument& doc) {
  if (!FitsSettingsLimits(text)) return false;
  const std::string buffer = ParserBuffer(text);
  doc.Parse(buffer.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
  return !doc.Error();
}

GsXml::GsXml() = default;
GsXml::~GsXml() = default;

bool GsXml::OpenText(std::string_view text) {
  assert(!IsOpen() && "!IsOpen()");
  if (IsOpen()) return false;
  auto doc = std::make_unique<TiXmlDocument>();
  if (!ParseChecked(text, *doc)) return false;
  TiXmlElement* root = RootAfterDeclaration(*doc);
  if (!root) return false;
  m_doc = std::move(doc);
  m_root = root;
  return true;
}

bool GsXml::Open(const std::string& path, bool create) {
  assert(!IsOpen() && "!IsOpen()");
  if (IsOpen()) return false;

  std::string host;
  if (!platform::ResolvePath(platform::WideFromAnsi(path), host)) return false;

  auto doc = std::make_unique<TiXmlDocument>();
  if (!LoadChecked(host, *doc)) {
    if (!create) return false;
    CreateDefault(*doc, host);
  }
  TiXmlElement* root = RootAfterDeclaration(*doc);
  if (!root) return false;
  m_doc = std::move(doc);
  m_root = root;
  return true;
}

void GsXml::Close() {
  m_root = nullptr;
  m_doc.reset();
}

GsXml::Handle GsXml::FindChild(Handle parent, const char* name, const char* key) {
  if (!parent) return nullptr;
  const std::string lower = platform::LowerCase(std::string_view(name ? name : ""));
  TiXmlElement* element = parent->FirstChildElement(lower.c_str());
  if (!key || !*key) return element;
  for (; element; element = element->NextSiblingElement(lower.c_str())) {
    const char* attribute = element->Attribute("key");
    if (attribute && EqualsNoCaseAscii(attribute, key)) return element;
  }
  return nullptr;
}

namespace {
const TiXmlText* FirstText(GsXml::Handle element) {
  if (!element) return nullptr;
  const TiXmlNode* child = element->FirstChild();
  return child ? child->ToText() : nullptr;
}
}  // namespace

bool GsXml::GetText(Handle element, std::wstring& text) {
  text.clear();
  const TiXmlText* node = FirstText(element);
  if (!node) return false;
  text = platform::WideFromAnsi(node->Value());
  return true;
}

bool GsXml::GetInt(Handle element, int& value) {
  const TiXmlText* node = FirstText(element);
  if (!node) return false;
  errno = 0;
  const long parsed = std::strtol(node->Value(), nullptr, 0);
  if (parsed > INT_MAX) value = INT_MAX;
  else if (parsed < INT_MIN) value = INT_MIN;
  else value = static_cast<int>(parsed);
  return true;
}

}  // namespace gs
