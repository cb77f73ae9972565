// The model's custom papers as the device sheet edits them: a table of user
// papers installed in place of the current ones, and the model's own custom
// papers put back beside the user's.
#pragma once

#include <cstdint>

#include "settings/model_caps.h"
#include "sheets/sheet_state.h"
#include "sheets/user_file_codec.h"

static_assert(kMaxUserPapers == kMaxCustomPapers && kUserPaperNameUnits == kCustomPaperNameUnits);

// The current custom papers (sizes, units and names; ids cleared) as a table.
void LoadUserPaperTable(const ModelCaps& caps, UserPaperTable& table);
// Makes the table the model's custom papers: paper ids 300 + index, names
// appended to the NameList. The "Defaults" paper index keeps naming the same
// paper (found by name), else takes the "Permanent" index. 1, or 0 without
// memory (caps unchanged).
int MergeUserPapers(ModelCaps& caps, const UserPaperTable& table);
// Appends paper to the table unless its name is one of the names slots
// (kNameSlotUnits each) or already in the table; returns the new count.
std::uint16_t AddUniquePaper(const WCHAR* slots, const CustomPaperEntry& paper, UserPaperTable& table,
                             std::uint16_t count, std::size_t names);
// Keeps the user's custom papers and adds back, while there is room, the
// model data file's custom papers whose names are not in use. 1, or 0 without memory.
int RestoreUserPapers(DevSheetContext& context);
