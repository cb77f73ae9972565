// Page 120, the quick install's only page, and its place in the chain.
#include "installer/messages.h"
#include "installer/model_folders.h"
#include "installer/printer_names.h"
#include "installer/quick_install.h"
#include "installer/wizard.h"

namespace installer {

INT_PTR QuickConfirmPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr int kNameEdit = 1018, kPortField = 1019, kModelField = 1020, kManuals = 1029;
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    PlaceDialog(ctx, page);
    WCHAR name[kPrinterNameUnits] = {};
    if (!MakeUniquePrinterName(name, Str(ctx.printerName), ctx.languageLibrary)) {
      EndDialog(page, kResultCancel);
      return TRUE;
    }
    SetDlgItemTextW(page, kNameEdit, name);
    SendDlgItemMessageW(page, kNameEdit, EM_LIMITTEXT, kPrinterNameUnits - 1, 0);
    SetDlgItemTextW(page, kPortField, ctx.portName);
    SetDlgItemTextW(page, kModelField, ctx.modelName);
    UpdateManualsCheckBox(ctx, page);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK: {
      SavePageRect(*ctx, page);
      WCHAR name[kPrinterNameUnits] = {};
      GetDlgItemTextW(page, kNameEdit, name, kPrinterNameUnits);
      // The edited name is checked as on the printer name page; the page stays.
      if (!ValidatePrinterName(*ctx, page, Str(name))) return TRUE;
      ctx->copyManuals = IsChecked(page, kManuals) ? 1 : 0;
      SetField(ctx->printerName, Str(name));
      ctx->installDriver = 1;
      EndDialog(page, kResultNext);
      return TRUE;
    }
    case IDCANCEL:
      SavePageRect(*ctx, page);
      ConfirmCancel(*ctx, page, Leaving::Install);
      return TRUE;
    default:
      return TRUE;
  }
}

int ShowQuickConfirmPage(SetupContext& ctx) {
  // The quick install repeats a network install of the first kind.
  ctx.connection = Connection::Network;
  ctx.kindIndex = 0;
  ctx.installDriver = 1;
  const INT_PTR result = DialogBoxParamW(ctx.languageLibrary, MAKEINTRESOURCEW(kQuickConfirmPage), nullptr,
                                         QuickConfirmPageProc, reinterpret_cast<LPARAM>(&ctx));
  if (result == kResultNext) return ShowInstallProgressPage(ctx);
  if (result == kResultCancel) return 1;
  FreeLanguageLibrary(ctx);
  return 0;
}

}  // namespace installer
