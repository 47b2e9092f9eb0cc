#pragma once
// The tooltip of a USB list entry: which device will be erased. It names
// the physical disk behind the volume (number, model and size), the volume's label
// and file system, and where its data lives on this machine (the block
// device, else the backing folder or image file).

#include <string>

std::wstring UsbDeviceHint(const std::wstring& root);
