// The model list of page 107, built from the driver INFs.
#pragma once

#include "installer/setup_context.h"

namespace installer {

constexpr int kModelList = 1009;
constexpr int kMaxModelRows = 200;

// Fills list 1009 with the models of every kind (the USB memory INF for USB
// memory; for USB cable only models whose INF line names the connected
// printer's hardware id), leaving out inst.ini [Setup] except. Each row's
// item data is its kind index. The row count, or -1 when an INI key or a
// models section is missing, a key is longer than 33 characters or there
// would be more than 200 rows.
int BuildModelList(HWND page, const SetupContext& ctx);
// Builds the list and selects the stored model (row 0 when absent). 0 when
// it cannot be built or is empty (message 20 for a USB printer).
int InitModelList(HWND page, const SetupContext& ctx);

}  // namespace installer
