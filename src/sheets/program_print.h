// The program-print dialog (template 1993): up to six rows of copies and sets
// and how the sets are separated, edited on a copy that goes back into
// SheetState only on OK.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

inline constexpr int kProgramPrintTemplate = 1993;
inline constexpr int kProgramRows = 6;
inline constexpr int kFirstCopiesEdit = 3312;  // rows 1-6: 3312-3317
inline constexpr int kFirstSetsEdit = 3318;    // rows 1-6: 3318-3323
inline constexpr int kClearRowsButton = 3239;
inline constexpr int kTapeRadio = 3241, kInterleafRadio = 3242, kNoSeparatorRadio = 3243;

// The dialog's copy: the 52-byte block, then the availability (0 disabled,
// 1 enabled, 2 hidden) of the tape and interleaf separators.
struct ProgramPrintRecord {
  ProgramGroup Rows[kProgramRows];
  std::uint8_t Separator;  // 0 none, 1 tape, 2 interleaf sheet
  std::uint8_t Spare[3];
  std::uint8_t TapeAvailability;
  std::uint8_t InterleafAvailability;
};

INT_PTR ProgramPrintDialog(HWND page, DocSheetContext& context, SheetState& state);
INT_PTR CALLBACK ProgramPrintDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void FillProgramPrintDialog(HWND dialog, const ProgramPrintRecord& record);
// The edit's unsigned value clamped to minimum..maximum; a text that is not
// a number in the range (empty gives the minimum) is rewritten.
std::int32_t ReadRowValue(HWND dialog, int editId, std::int32_t minimum, std::int32_t maximum);
// Rows whose copies are 0 are dropped and the rest move up; free rows get
// copies 0 and sets 1.
void PackProgramRows(ProgramGroup (&rows)[kProgramRows]);
