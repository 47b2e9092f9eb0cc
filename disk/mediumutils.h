#pragma once
// Tests on a Windows 7 installation medium.

#include <string>

// The root's "sources\product.ini" says [sku] Type=EMBEDDED (any case).
bool IsEmbeddedEdition(const std::wstring& mediumRoot);
// The build-information file says [BUILDINFO] BuildArch=AMD64 (any case).
bool IsAmd64Build(const std::wstring& buildInfoFile);
