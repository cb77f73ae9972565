// The document sheet's pages by their dialog templates.
#pragma once

#include "plat/dialog.h"

// The dialog procedure of each page, by template id; nullptr for another id.
DLGPROC DocumentPageProc(int templateId);
