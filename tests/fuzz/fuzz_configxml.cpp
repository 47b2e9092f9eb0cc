// config.xml: the pre-check, the padded parse and every lookup the
// configuration reader makes. Whatever the pre-check lets through, the
// parser's tree nests no deeper than the limit.
#include <tinyxml.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "kxfuzz.h"
#include "src/xml/gsxml.h"
#include "src/xml/xmlprecheck.h"

namespace {

int TreeDepth(const TiXmlNode* root) {
  int deepest = 0;
  std::vector<std::pair<const TiXmlNode*, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, depth);
    for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling())
      if (c->ToElement()) stack.push_back({c, depth + 1});
  }
  return deepest;
}

}  // namespace

KX_FUZZ_TARGET {
  const std::string text = kxfuzz::Bytes(data, size);
  TiXmlDocument doc;
  if (gs::ParseChecked(text, doc)) KX_FUZZ_CHECK(TreeDepth(&doc) <= gs::kMaxElementNesting);

  gs::GsXml xml;
  if (xml.OpenText(text)) {
    auto type = gs::GsXml::FindChild(xml.Root(), "type", "0");
    auto ui = gs::GsXml::FindChild(type, "ui");
    std::wstring title;
    gs::GsXml::GetText(gs::GsXml::FindChild(ui, "title"), title);
    int number = 1;
    gs::GsXml::GetInt(gs::GsXml::FindChild(xml.Root(), "currenttype"), number);
    gs::GsXml::GetInt(gs::GsXml::FindChild(ui, "isshoweula"), number);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  seeds.push_back(
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\r\n<root>\r\n  <currenttype>0</currenttype>\r\n"
      "  <type key=\"0\">\r\n    <ui>\r\n      <title>Kestrunex \xE2\x80\x93 USB 3.0</title>\r\n"
      "      <logopath>logo.png</logopath>\r\n      <isshoweula>1</isshoweula>\r\n    </ui>\r\n"
      "    <eula>\r\n      <english>licence\\english.txt</english>\r\n    </eula>\r\n  </type>\r\n</root>\r\n");
  seeds.push_back(
      "\xEF\xBB\xBF<?xml version='1.0'?><root><!-- <old>x</old> --><type key=\"0\" a='&lt;&#x41;&#66;'>"
      "<ui><title><![CDATA[<b>]]></title><?pi <x> ?><!DOCTYPE y></ui></type></root>");
  seeds.push_back("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><root><type key=\"0\"><ui><title>caf\xE9</title>"
                  "</ui></type><currenttype>0x0</currenttype></root>");
  std::string deep = "<?xml version=\"1.0\"?><root>";
  for (int i = 0; i < gs::kMaxElementNesting - 1; ++i) deep += "<e k=\"</e>\"><!--</e>-->";
  for (int i = 0; i < gs::kMaxElementNesting - 1; ++i) deep += "</e>";
  seeds.push_back(deep + "</root>");
}
