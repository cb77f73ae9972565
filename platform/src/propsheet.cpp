#include "plat/propsheet.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "plat/resources.h"
#include "plat/strings.h"
#include "resource_data.h"
#include "window_internal.h"

namespace {

struct PageRecord {
  PROPSHEETPAGEW page{};  // the caller's record, zero beyond its dwSize
};

// A PFNPROPSHEETUI added below the sheet's own (CPSFUNC_ADD_PFNPROPSHEETUIW):
// it has its own info record and handle, and adds pages to the same sheet.
struct ChildUi {
  PFNPROPSHEETUI callback = nullptr;
  PROPSHEETUI_INFO info{};
};

struct Sheet {
  HWND frame = nullptr;
  PFNPROPSHEETUI callback = nullptr;
  PROPSHEETUI_INFO info{};
  std::vector<std::unique_ptr<ChildUi>> children;  // in the order added
  std::vector<PageRecord*> pages;  // owned; in tab order
  std::vector<HWND> windows;       // the page dialogs, created when first shown
  int current = -1;
  bool changed = false;
  LONG result = CPSUI_CANCEL;
};

struct Registry {
  std::mutex lock;
  std::vector<PageRecord*> pages;  // every live record
  std::map<HWND, Sheet*> sheets;   // by frame
};

Registry& Reg() {
  static Registry* r = new Registry;  // lives as long as the process
  return *r;
}

Sheet* SheetOf(HWND frame) {
  std::lock_guard lock(Reg().lock);
  auto it = Reg().sheets.find(frame);
  return it == Reg().sheets.end() ? nullptr : it->second;
}

// The sheet of a handle given to its own callback or to one of its children's.
Sheet* SheetOfHandle(HANDLE hComPropSheet, ChildUi** child = nullptr) {
  std::lock_guard lock(Reg().lock);
  for (auto& [frame, sheet] : Reg().sheets) {
    if (static_cast<HANDLE>(sheet) == hComPropSheet) return sheet;
    for (auto& c : sheet->children) {
      if (static_cast<HANDLE>(c.get()) != hComPropSheet) continue;
      if (child) *child = c.get();
      return sheet;
    }
  }
  return nullptr;
}

void FreeRecord(PageRecord* record) {
  {
    std::lock_guard lock(Reg().lock);
    std::erase(Reg().pages, record);
  }
  delete record;
}

// WM_NOTIFY with a PSHNOTIFY to a page; returns the page's DWLP_MSGRESULT.
LONG_PTR NotifyPage(Sheet& sheet, HWND page, UINT code, LPARAM lParam) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
  PSHNOTIFY n{{sheet.frame, 0, code}, lParam};
  SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
  return IsWindow(page) ? GetWindowLongPtrW(page, DWLP_MSGRESULT) : 0;
}

// Creates the page's dialog when it is first shown.
HWND PageWindow(Sheet& sheet, int index) {
  HWND& window = sheet.windows[static_cast<std::size_t>(index)];
  if (window) return window;
  PageRecord* record = sheet.pages[static_cast<std::size_t>(index)];
  HWND page = plat::internal::CreatePageDialog(record->page.hInstance, record->page.pszTemplate, sheet.frame,
                                               record->page.pfnDlgProc);
  window = page;
  if (record->page.pfnDlgProc) {
    SendMessageW(page, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&record->page));
  }
  return page;
}

void ShowPage(Sheet& sheet, int index) {
  for (std::size_t i = 0; i < sheet.windows.size(); ++i) {
    if (sheet.windows[i]) ShowWindow(sheet.windows[i], SW_HIDE);
  }
  HWND page = PageWindow(sheet, index);
  sheet.current = index;
  ShowWindow(page, SW_SHOW);
  NotifyPage(sheet, page, PSN_SETACTIVE, 0);
}

bool ChangeTab(Sheet& sheet, int index) {
  if (index < 0 || index >= static_cast<int>(sheet.pages.size())) return false;
  if (index == sheet.current) return true;
  if (sheet.current >= 0 && NotifyPage(sheet, sheet.windows[static_cast<std::size_t>(sheet.current)],
                                       PSN_KILLACTIVE, 0) == TRUE) {
    return false;
  }
  ShowPage(sheet, index);
  return true;
}

// KILLACTIVE on the current page, then APPLY on each created page. False when a page refused.
bool ApplyPages(Sheet& sheet, bool closing) {
  if (sheet.current >= 0 &&
      NotifyPage(sheet, sheet.windows[static_cast<std::size_t>(sheet.current)], PSN_KILLACTIVE, 0) == TRUE) {
    return false;
  }
  for (std::size_t i = 0; i < sheet.windows.size(); ++i) {
    if (!sheet.windows[i]) continue;
    const LONG_PTR answer = NotifyPage(sheet, sheet.windows[i], PSN_APPLY, closing ? TRUE : FALSE);
    if (answer == PSNRET_INVALID || answer == PSNRET_INVALID_NOCHANGEPAGE) {
      if (answer == PSNRET_INVALID) ShowPage(sheet, static_cast<int>(i));
      return false;
    }
  }
  sheet.changed = false;
  EnableWindow(GetDlgItem(sheet.frame, kApplyButton), FALSE);
  return true;
}

// The result goes to the child whose handle it was set through (every child
// when the sheet itself sets it), then to the sheet's own callback.
void SetResult(Sheet& sheet, HANDLE from, LRESULT result, ChildUi* through = nullptr, bool everyChild = true) {
  SETRESULT_INFO sri{sizeof(SETRESULT_INFO), 0, from, result};
  for (auto& child : sheet.children) {
    if (!everyChild && child.get() != through) continue;
    child->info.Reason = PROPSHEETUI_REASON_SET_RESULT;
    child->callback(&child->info, reinterpret_cast<LPARAM>(&sri));
  }
  sheet.info.Reason = PROPSHEETUI_REASON_SET_RESULT;
  sheet.callback(&sheet.info, reinterpret_cast<LPARAM>(&sri));
}

void CancelSheet(Sheet& sheet) {
  for (HWND page : sheet.windows) {
    if (page) NotifyPage(sheet, page, PSN_RESET, FALSE);
  }
  SetResult(sheet, static_cast<HANDLE>(&sheet), CPSUI_CANCEL);
  sheet.result = CPSUI_CANCEL;
  EndDialog(sheet.frame, IDCANCEL);
}

void PressButton(Sheet& sheet, WPARAM button) {
  switch (button) {
    case PSBTN_OK:
      if (ApplyPages(sheet, true)) {
        sheet.result = CPSUI_OK;
        EndDialog(sheet.frame, IDOK);
      }
      break;
    case PSBTN_APPLYNOW:
      if (sheet.changed) ApplyPages(sheet, false);
      break;
    case PSBTN_CANCEL: CancelSheet(sheet); break;
    default: break;
  }
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM) {
  Sheet* sheet = SheetOf(frame);
  if (!sheet) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK: PressButton(*sheet, PSBTN_OK); return TRUE;
        case IDCANCEL: PressButton(*sheet, PSBTN_CANCEL); return TRUE;
        case kApplyButton: PressButton(*sheet, PSBTN_APPLYNOW); return TRUE;
        default: return FALSE;
      }
    case PSM_CHANGED:
      sheet->changed = true;
      EnableWindow(GetDlgItem(frame, kApplyButton), TRUE);
      return TRUE;
    case PSM_UNCHANGED:
      sheet->changed = false;
      EnableWindow(GetDlgItem(frame, kApplyButton), FALSE);
      return TRUE;
    case PSM_SETCURSEL:
      SetWindowLongPtrW(frame, DWLP_MSGRESULT, ChangeTab(*sheet, static_cast<int>(wParam)) ? TRUE : FALSE);
      return TRUE;
    case PSM_PRESSBUTTON: PressButton(*sheet, wParam); return TRUE;
    case PSM_GETCURRENTPAGEHWND:
      SetWindowLongPtrW(frame, DWLP_MSGRESULT,
                        sheet->current >= 0
                            ? reinterpret_cast<LONG_PTR>(sheet->windows[static_cast<std::size_t>(sheet->current)])
                            : 0);
      return TRUE;
    default: return FALSE;
  }
}

LONG_PTR CALLBACK ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);

// The info record a PFNPROPSHEETUI gets at INIT, under its own handle.
void StartInfo(PROPSHEETUI_INFO& info, HANDLE handle, LPARAM lParam) {
  info.cbSize = sizeof(PROPSHEETUI_INFO);
  info.Version = PROPSHEETUI_INFO_VERSION;
  info.hComPropSheet = handle;
  info.pfnComPropSheet = ComPropSheet;
  info.lParamInit = lParam;
  info.Reason = PROPSHEETUI_REASON_INIT;
}

LONG_PTR CALLBACK ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
  ChildUi* child = nullptr;
  Sheet* sheet = SheetOfHandle(hComPropSheet, &child);
  if (!sheet) return 0;
  switch (function) {
    case CPSFUNC_ADD_HPROPSHEETPAGE: {
      auto* record = reinterpret_cast<PageRecord*>(lParam1);
      {
        std::lock_guard lock(Reg().lock);
        if (std::find(Reg().pages.begin(), Reg().pages.end(), record) == Reg().pages.end()) return 0;
      }
      if (std::find(sheet->pages.begin(), sheet->pages.end(), record) != sheet->pages.end()) return 0;
      sheet->pages.push_back(record);
      sheet->windows.push_back(nullptr);
      return reinterpret_cast<LONG_PTR>(record);
    }
    case CPSFUNC_ADD_PFNPROPSHEETUIW: {
      auto callback = reinterpret_cast<PFNPROPSHEETUI>(lParam1);
      if (!callback) return 0;
      auto made = std::make_unique<ChildUi>();
      made->callback = callback;
      StartInfo(made->info, static_cast<HANDLE>(made.get()), lParam2);
      // Registered first: the child adds its pages through its own handle.
      ChildUi* added = made.get();
      sheet->children.push_back(std::move(made));
      if (added->callback(&added->info, lParam2) <= 0) {
        sheet->children.pop_back();
        return 0;
      }
      return reinterpret_cast<LONG_PTR>(added);
    }
    case CPSFUNC_SET_RESULT:
      SetResult(*sheet, reinterpret_cast<HANDLE>(lParam1), lParam2, child, false);
      return 1;
    default: return 0;
  }
}

}  // namespace

namespace plat::internal {
bool IsSheetFrame(HWND window) { return SheetOf(window) != nullptr; }

int SheetPageCount(HWND frame) {
  Sheet* sheet = SheetOf(frame);
  return sheet ? static_cast<int>(sheet->pages.size()) : 0;
}

int SheetPageTemplate(HWND frame, int index) {
  Sheet* sheet = SheetOf(frame);
  if (!sheet || index < 0 || index >= static_cast<int>(sheet->pages.size())) return -1;
  const LPCWSTR name = sheet->pages[static_cast<std::size_t>(index)]->page.pszTemplate;
  return IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : 0;
}

std::u16string SheetPageCaption(HWND frame, int index) {
  Sheet* sheet = SheetOf(frame);
  if (!sheet || index < 0 || index >= static_cast<int>(sheet->pages.size())) return {};
  const PROPSHEETPAGEW& page = sheet->pages[static_cast<std::size_t>(index)]->page;
  DialogTemplate t;
  if (!IS_INTRESOURCE(page.pszTemplate) ||
      !FindDialogTemplate(page.hInstance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(page.pszTemplate)), t)) {
    return {};
  }
  return t.caption;
}

int SheetCurrentIndex(HWND frame) {
  Sheet* sheet = SheetOf(frame);
  return sheet ? sheet->current : -1;
}
}  // namespace plat::internal

extern "C" {

HPROPSHEETPAGE CreatePropertySheetPageW(LPCPROPSHEETPAGEW page) {
  if (!page || page->dwSize < PROPSHEETPAGEW_V1_SIZE || page->dwSize > sizeof(PROPSHEETPAGEW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* record = new PageRecord;
  std::memcpy(&record->page, page, page->dwSize);
  std::lock_guard lock(Reg().lock);
  Reg().pages.push_back(record);
  return reinterpret_cast<HPROPSHEETPAGE>(record);
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page) {
  auto* record = reinterpret_cast<PageRecord*>(page);
  {
    std::lock_guard lock(Reg().lock);
    if (std::find(Reg().pages.begin(), Reg().pages.end(), record) == Reg().pages.end()) return FALSE;
  }
  FreeRecord(record);
  return TRUE;
}

LONG CommonPropertySheetUIW(HWND parent, PFNPROPSHEETUI callback, LPARAM lParam, LPDWORD result) {
  if (!callback) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERR_CPSUI_GETLASTERROR;
  }
  auto sheet = std::make_unique<Sheet>();
  sheet->callback = callback;
  sheet->frame = plat::internal::CreateBareDialog(parent, u"", FrameProc, 0, false);
  MoveWindow(sheet->frame, 0, 0, 420, 480, FALSE);
  {
    std::lock_guard lock(Reg().lock);
    Reg().sheets[sheet->frame] = sheet.get();
  }
  PROPSHEETUI_INFO& info = sheet->info;
  StartInfo(info, static_cast<HANDLE>(sheet.get()), lParam);
  const LONG init = callback(&info, lParam);
  LONG answer = ERR_CPSUI_GETLASTERROR;
  if (init > 0) {
    PROPSHEETUI_INFO_HEADER header{sizeof(PROPSHEETUI_INFO_HEADER), 0, nullptr, parent, nullptr, 0};
    info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    callback(&info, reinterpret_cast<LPARAM>(&header));
    if (header.pTitle) SetWindowTextW(sheet->frame, header.pTitle);
    const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    plat::internal::CreateControl(sheet->frame, WC_BUTTON, IDOK, button | BS_DEFPUSHBUTTON, u"OK",
                                  RECT{170, 440, 240, 464});
    plat::internal::CreateControl(sheet->frame, WC_BUTTON, IDCANCEL, button, u"Cancel", RECT{250, 440, 320, 464});
    plat::internal::CreateControl(sheet->frame, WC_BUTTON, kApplyButton, button | WS_DISABLED, u"Apply",
                                  RECT{330, 440, 400, 464});
    if (!sheet->pages.empty()) ShowPage(*sheet, 0);
    Sheet* s = sheet.get();
    plat::internal::RunModalLoop(plat::ui::Screen::Kind::Sheet, sheet->frame, 0, [s] { CancelSheet(*s); });
    answer = sheet->result;
  }
  DestroyWindow(sheet->frame);
  {
    std::lock_guard lock(Reg().lock);
    Reg().sheets.erase(sheet->frame);
  }
  for (PageRecord* record : sheet->pages) FreeRecord(record);
  // Children go first: what they were given belongs to the sheet's callback.
  for (auto it = sheet->children.rbegin(); it != sheet->children.rend(); ++it) {
    (*it)->info.Reason = PROPSHEETUI_REASON_DESTROY;
    (*it)->callback(&(*it)->info, answer == CPSUI_OK ? 1 : 0);
  }
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  callback(&info, answer == CPSUI_OK ? 1 : 0);
  if (result) *result = static_cast<DWORD>(answer == CPSUI_OK ? CPSUI_OK : CPSUI_CANCEL);
  return answer;
}

}  // extern "C"

namespace {

// The printer's config-file library and one of its exports.
struct ConfigLibrary {
  HMODULE module = nullptr;
  FARPROC entry = nullptr;
  ~ConfigLibrary() {
    if (module) FreeLibrary(module);
  }
};

bool LoadConfigEntry(HANDLE printer, const char* name, ConfigLibrary& out) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  if (needed < sizeof(DRIVER_INFO_3W)) return false;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed)) return false;
  DRIVER_INFO_3W info{};
  std::memcpy(&info, buffer.data(), sizeof info);
  if (!info.pConfigFile) return false;
  out.module = LoadLibraryW(info.pConfigFile);
  if (!out.module) return false;
  out.entry = GetProcAddress(out.module, name);
  return out.entry != nullptr;
}

std::u16string PrinterName(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 4, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_4W)) return {};
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer, 4, buffer.data(), needed, &needed)) return {};
  PRINTER_INFO_4W info{};
  std::memcpy(&info, buffer.data(), sizeof info);
  return std::u16string(plat::view(info.pPrinterName));
}

}  // namespace

extern "C" {

LONG DocumentPropertiesW(HWND parent, HANDLE printer, LPWSTR deviceName, DEVMODEW* out, DEVMODEW* in, DWORD mode) {
  ConfigLibrary library;
  if (!LoadConfigEntry(printer, "DrvDocumentPropertySheets", library)) return -1;
  std::u16string name = deviceName ? std::u16string(deviceName) : PrinterName(printer);
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = name.data();
  header.pdmIn = (mode & DM_IN_BUFFER) ? in : nullptr;
  header.pdmOut = (mode & DM_OUT_BUFFER) ? out : nullptr;
  header.cbOut = out && (mode & DM_OUT_BUFFER) ? static_cast<DWORD>(out->dmSize + out->dmDriverExtra) : 0;
  header.fMode = mode;
  auto callback = reinterpret_cast<PFNPROPSHEETUI>(library.entry);
  if (!(mode & DM_IN_PROMPT)) return callback(nullptr, reinterpret_cast<LPARAM>(&header));
  DWORD result = 0;
  const LONG answer = CommonPropertySheetUIW(parent, callback, reinterpret_cast<LPARAM>(&header), &result);
  if (answer < 0) return -1;
  return result == static_cast<DWORD>(CPSUI_OK) ? IDOK : IDCANCEL;
}

BOOL PrinterPropertiesW(HWND parent, HANDLE printer) {
  ConfigLibrary library;
  if (!LoadConfigEntry(printer, "DrvDevicePropertySheets", library)) return FALSE;
  std::u16string name = PrinterName(printer);
  DEVICEPROPERTYHEADER header{sizeof(DEVICEPROPERTYHEADER), 0, printer, name.data()};
  DWORD result = 0;
  const LONG answer = CommonPropertySheetUIW(parent, reinterpret_cast<PFNPROPSHEETUI>(library.entry),
                                             reinterpret_cast<LPARAM>(&header), &result);
  return answer >= 0 && result == static_cast<DWORD>(CPSUI_OK) ? TRUE : FALSE;
}

}  // extern "C"

namespace plat {

std::size_t LivePageCount() {
  std::lock_guard lock(Reg().lock);
  return Reg().pages.size();
}

std::size_t LiveSheetCount() {
  std::lock_guard lock(Reg().lock);
  return Reg().sheets.size();
}

}  // namespace plat
