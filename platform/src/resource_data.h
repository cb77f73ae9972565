// What a resource module holds besides strings, for the window and image
// parts of the platform.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "plat/base.h"

namespace plat::internal {

struct ControlTemplate {
  int id = 0;
  std::u16string className;
  RECT units{};  // left, top, width, height in dialog units (right = width, bottom = height)
  DWORD style = 0;
  std::u16string text;
};

struct DialogTemplate {
  std::u16string caption;
  int width = 0;  // dialog units
  int height = 0;
  DWORD style = 0;
  int fontPoints = 0;  // 0: the system's font
  std::u16string fontName;
  std::vector<ControlTemplate> controls;
};

enum class ImageKind { Bitmap, Icon, Cursor };

struct ImageFile {
  std::string hostPath;      // empty when the resource text holds the bytes
  std::vector<BYTE> bytes;   // an image written into the text ("data:" and base64)
  std::string moduleFolder;  // host folder of the module; the file must lie inside it
  POINT hotSpot{0, 0};
};

struct ResourceData {
  std::map<UINT, std::u16string> strings;
  std::map<UINT, DialogTemplate> dialogs;
  std::map<UINT, ImageFile> bitmaps;
  std::map<UINT, ImageFile> icons;
  std::map<UINT, ImageFile> cursors;
};

// Copies of a loaded resource module's entries; false when the module is not a
// resource module or has no such entry.
bool FindDialogTemplate(HMODULE module, UINT id, DialogTemplate& out);
bool FindImageFile(HMODULE module, ImageKind kind, UINT id, ImageFile& out);

}  // namespace plat::internal
