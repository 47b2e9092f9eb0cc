#pragma once
// GsXml: a thin document wrapper over TinyXML for small settings files.
//
// A document is held from a successful Open until Close (or destruction).
// Its root is the element that immediately follows the leading XML
// declaration; a file without a declaration first, or with anything but an
// element right after it (a comment, for instance), does not open.
// Element names are looked up in lower case; text comes out of TinyXML as
// 8-bit ANSI text and is widened through the ANSI code page.
// Not thread-safe: one document per thread.

#include <memory>
#include <string>
#include <string_view>

class TiXmlDocument;
class TiXmlElement;

namespace gs {

class GsXml {
 public:
  using Handle = TiXmlElement*;  // not owned; valid while the document is open

  GsXml();
  ~GsXml();
  GsXml(const GsXml&) = delete;
  GsXml& operator=(const GsXml&) = delete;

  // Loads the file at the 8-bit system path (a path without a drive letter
  // is relative to the current folder). Must not be called while open
  // (asserted as "!IsOpen()"; without assertions it then returns false).
  // When loading fails and create is set, writes a new document with an
  // empty element "root" to the path and keeps it. False when the file
  // cannot be loaded, is too large or too deeply nested to be a settings
  // file, or has no root element right after the declaration.
  bool Open(const std::string& path, bool create);
  // The same checks and parse on a file's bytes already read; never creates.
  bool OpenText(std::string_view text);
  void Close();
  bool IsOpen() const { return m_doc != nullptr; }

  // The root element; null while closed.
  Handle Root() const { return m_root; }

  // The first child element of parent named name (lower-cased, ASCII) and,
  // with a non-empty key, the first of it and its same-named following
  // siblings whose "key" attribute equals key ignoring ASCII case (no
  // trimming). Null when none or when parent is null.
  static Handle FindChild(Handle parent, const char* name, const char* key = nullptr);

  // The element's text when its first child is a text node: true with the
  // widened text; false with an empty text otherwise (null handle too).
  static bool GetText(Handle element, std::wstring& text);

  // The element's text parsed like strtol with base 0 (non-numbers read 0,
  // out-of-range values clamp to the int range). False, value untouched,
  // for a null handle or an element whose first child is not text.
  static bool GetInt(Handle element, int& value);

 private:
  std::unique_ptr<TiXmlDocument> m_doc;
  Handle m_root = nullptr;
};

// Parses text into doc when it passes FitsSettingsLimits, from a buffer the
// parser cannot read past; false when refused or when the parser fails.
bool ParseChecked(std::string_view text, TiXmlDocument& doc);

}  // namespace gs
