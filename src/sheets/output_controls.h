// The controls the basic and print pages share: the output mode combo 2075
// with its label 2076 and job-group button 2068, the copies edit 3180 with
// up-down 3181, and the continuous-printing combo 3183.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

inline constexpr int kOutputModeCombo = 2075;
inline constexpr int kOutputModeLabel = 2076;
inline constexpr int kJobGroupButton = 2068;
inline constexpr int kOutputModeGroup = 4031;
inline constexpr int kCopiesEdit = 3180;
inline constexpr int kCopiesSpin = 3181;
inline constexpr int kRenzokuCombo = 3183;

// Output modes 2 and 3 store the job without printing it.
inline bool IsStoreMode(std::uint8_t outputMode) { return outputMode == 2 || outputMode == 3; }

// Rows of 2075 allowed by mask, the mode as item data; 3183's four strings;
// the copies range and edit limit.
void FillOutputControls(HMODULE module, HWND page, const ModelCaps& caps, std::uint8_t outputModeMask);
// Selects the row whose item data equals value; none when no row has it.
void SelectRowByData(HWND page, int comboId, LPARAM value);
// The item data of the selected row, or -1.
LPARAM SelectedRowData(HWND page, int comboId);
// 2075, 3180/3181 and 3183 from the state.
void RefreshOutputControls(HWND page, const SheetState& state);
// Output mode group 2076, 2075, 2068 and its box 4031.
void OutputModeEnableRules(HWND page, const ModelCaps& caps, const SheetState& state);
// Mode v chosen over the previous mode: the "Permanent" resets it brings.
void OnOutputModeChanged(const DocSettings& permanent, SheetState& state, std::uint8_t mode);

// A whole-number edit with its up-down (copies, authentication number):
// EN_CHANGE stores the typed number and, unless refreshing, clears the
// favourite and marks the sheet changed; EN_KILLFOCUS clamps to the up-down's
// range. True when EN_KILLFOCUS changed the value or rewrote the text.
bool NumberEditCommand(HWND page, SheetState& state, int editId, int spinId, WORD code, std::int32_t& value);
// Parses the edit (clamped to its up-down) into value and rewrites it; for
// numbers typed and confirmed without leaving the edit.
void TakeNumberEdit(HWND page, int editId, int spinId, std::int32_t& value);
// 2075, 3180 and 3183 commands of either page; true for a change.
bool OutputControlsCommand(HWND page, DocSheetContext& context, WORD id, WORD code);
