#include "sheets/document_pages.h"

#include "sheets/basic_layout_pages.h"
#include "sheets/color_page.h"
#include "sheets/image_page.h"
#include "sheets/print_page.h"

DLGPROC DocumentPageProc(int templateId) {
  switch (templateId) {
    case 2008: return BasicPageProc;
    case 2001: return LayoutPageProc;
    case 2002: return ColorPageProc;
    case 2003: return ImagePageProc;
    case 2004: return PrintPageProc;
    case 2005: return FinishingPageProc;
    case 2006: return AboutPageProc;
    default: return nullptr;
  }
}
