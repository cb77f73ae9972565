#include "installer/network_search.h"

#include <cstring>
#include <memory>

#include "installer/messages.h"
#include "installer/ports.h"
#include "installer/search_library.h"
#include "installer/page_kit.h"

namespace installer {
namespace {

constexpr int kResultList = 1031, kAddressControl = 1041, kSearchAgain = 1032, kOtherPort = 1033;
constexpr UINT_PTR kProgressTimer = 10000;
constexpr UINT kProgressTickMs = 3000;
constexpr WORD kProgressMaxTicks = 30;


// The page's search: the shared record, both threads, and whether each has reported.
struct SearchPageState {
  NetworkSearchRecord record;
  HANDLE threads[2];  // progress, search
  bool progressEnded;
  bool searchEnded;
};

SearchPageState* StateOf(HWND page) {
  return reinterpret_cast<SearchPageState*>(GetWindowLongPtrW(page, GWLP_USERDATA));
}

DWORD RunSearch(LPVOID parameter) {
  auto& record = *static_cast<NetworkSearchRecord*>(parameter);
  SearchThread(&record);
  PostMessageW(record.page, kSearchEndedMessage, 0, 0);
  return 0;
}

void JoinThreads(SearchPageState& state) {
  HANDLE running[2];
  DWORD n = 0;
  for (HANDLE& h : state.threads)
    if (h) running[n++] = h;
  if (n) WaitForMultipleObjects(n, running, TRUE, INFINITE);
  for (HANDLE& h : state.threads) {
    if (h) CloseHandle(h);
    h = nullptr;
  }
}

// Starts the progress page and the search; 1032 waits until the search is over.
void StartSearch(HWND page, SetupContext& ctx, SearchPageState& state) {
  std::memset(state.record.results, 0, sizeof state.record.results);
  state.record.page = page;
  state.record.languageLibrary = ctx.languageLibrary;
  state.record.done.store(0, std::memory_order_relaxed);
  state.record.resourceFolder = ctx.resourceFolder;
  state.record.status = 0;
  state.record.count = 0;
  state.progressEnded = state.searchEnded = false;
  EnableItem(page, kSearchAgain, false);
  state.threads[0] = CreateThread(nullptr, 0, SearchProgressThread, &state.record, 0, nullptr);
  state.threads[1] = CreateThread(nullptr, 0, RunSearch, &state.record, 0, nullptr);
  if (!state.threads[0]) state.progressEnded = true;
  if (!state.threads[1]) {
    state.searchEnded = true;
    EnableItem(page, kSearchAgain, true);
  }
}

// Both the progress page and the search are over: the results are the search's alone now.
void ShowResultsWhenBothEnded(HWND page, SearchPageState& state) {
  if (!state.progressEnded || !state.searchEnded) return;
  JoinThreads(state);
  if (state.record.done.load(std::memory_order_acquire) == 1) FillSearchResultList(page, state.record);
  EnableItem(page, kSearchAgain, true);
}

void InitSearchPage(HWND page, SetupContext& ctx) {
  auto* state = new SearchPageState{};
  SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  InitCommonControls();
  HWND list = GetDlgItem(page, kResultList);
  for (int column = 0; column < 3; ++column) {
    WCHAR head[128] = {};
    LoadStringW(ctx.languageLibrary, static_cast<UINT>(41 + column), head, 128);
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.cx = 110;
    c.pszText = head;
    c.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
  }
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  SendMessageW(page, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ctx.icon));
  MoveToSavedPlace(ctx, page);
  EnableItem(page, IDOK, false);
  StartSearch(page, ctx, *state);
}

void OnSearchPageOk(HWND page, SetupContext& ctx) {
  WCHAR address[40] = {};
  GetDlgItemTextW(page, kAddressControl, address, 40);
  const std::u16string port = u"NEVO_" + std::u16string(Str(address));
  if (port.size() > 63) return;
  if (!AddTcpIpPort(port, Str(address))) return;
  SetField(ctx.portName, port);
  EndDialog(page, kResultNext);
}

}  // namespace

int SearchNetworkPrinters(NetworkSearchRecord& record) {
  const std::u16string path = std::u16string(Str(record.resourceFolder)) + u"Nevosrch.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) return 0;
  BYTE* filter = static_cast<BYTE*>(LocalAlloc(LPTR, kFilterBytes));
  if (!filter) {
    FreeLibrary(library);
    return 0;
  }
  const char* words[kFilterWords] = {"NEVO", "QP4W", "TANDRIL"};
  for (int i = 0; i < kFilterWords; ++i) std::memcpy(filter + i * kFilterSlot, words[i], std::strlen(words[i]));
  if (auto setFilter = reinterpret_cast<NevoSetFilterFn*>(GetProcAddress(library, "NevoSetFilter")))
    setFilter(filter, kFilterWords);
  LocalFree(filter);
  int result = 0;
  if (auto search = reinterpret_cast<NevoEnumPrintServersFn*>(GetProcAddress(library, "NevoEnumPrintServers"))) {
    result = search(0, 0, reinterpret_cast<BYTE*>(record.results), kSearchResultBytes, &record.status, &record.count);
    if (result) record.done.store(1, std::memory_order_release);
  }
  FreeLibrary(library);
  return result;
}

DWORD SearchThread(LPVOID record) {
  SearchNetworkPrinters(*static_cast<NetworkSearchRecord*>(record));
  return 0;
}

DWORD SearchProgressThread(LPVOID parameter) {
  auto& record = *static_cast<NetworkSearchRecord*>(parameter);
  const INT_PTR result = DialogBoxParamW(record.languageLibrary, MAKEINTRESOURCEW(kSearchProgressPage), record.page,
                                         SearchProgressPageProc, reinterpret_cast<LPARAM>(&record));
  PostMessageW(record.page, kProgressEndedMessage, result == 1 ? 1 : 0, 0);
  return 0;
}

INT_PTR SearchProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(page, DWLP_USER, lParam);
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);  // the tick count
    const auto& record = *reinterpret_cast<NetworkSearchRecord*>(lParam);
    if (!SetTimer(page, kProgressTimer, kProgressTickMs, nullptr)) {
      EndDialog(page, 2);
      return TRUE;
    }
    CentreOn(page, record.page);
    EnableItem(page, IDOK, false);
    return TRUE;
  }
  if (message != WM_TIMER || wParam != kProgressTimer) return FALSE;
  const auto* record = reinterpret_cast<const NetworkSearchRecord*>(GetWindowLongPtrW(page, DWLP_USER));
  const auto ticks = static_cast<WORD>(GetWindowLongPtrW(page, GWLP_USERDATA) + 1);
  SetWindowLongPtrW(page, GWLP_USERDATA, ticks);
  if ((record && record->done.load(std::memory_order_acquire) == 1) || ticks >= kProgressMaxTicks) {
    KillTimer(page, kProgressTimer);
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);
    EndDialog(page, 1);
  }
  return TRUE;
}

int FillSearchResultList(HWND page, const NetworkSearchRecord& record) {
  if (record.status == 0 || record.count <= 0) return 0;
  HWND list = GetDlgItem(page, kResultList);
  const int rows = record.count < kMaxSearchResults ? record.count : kMaxSearchResults;
  for (int i = 0; i < rows; ++i) {
    const SearchResultEntry& entry = record.results[i];
    in_addr address{};
    std::memcpy(&address.s_addr, entry.address, 4);
    const std::u16string dotted = plat::u16(inet_ntoa(address));
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02X:%02X:%02X:%02X:%02X:%02X", entry.mac[0], entry.mac[1], entry.mac[2],
                  entry.mac[3], entry.mac[4], entry.mac[5]);
    const std::u16string macText = plat::u16(mac);
    // The name is read from its own field only, even when the library left no terminator.
    const std::size_t nameBytes = strnlen(entry.name, sizeof entry.name);
    WCHAR name[64] = {};
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, entry.name, static_cast<int>(nameBytes), name, 63) <= 0)
      name[0] = 0;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<LPWSTR>(dotted.c_str());
    const LRESULT row = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (row < 0) continue;
    item.iSubItem = 1;
    item.pszText = const_cast<LPWSTR>(macText.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 2;
    item.pszText = name;
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
  return 1;
}

INT_PTR NetworkSearchPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitSearchPage(page, AdoptContext(page, lParam));
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  SearchPageState* state = StateOf(page);
  if (!ctx || !state) return FALSE;
  switch (message) {
    case WM_DESTROY:
      JoinThreads(*state);
      delete state;
      SetWindowLongPtrW(page, GWLP_USERDATA, 0);
      return TRUE;
    case kProgressEndedMessage:
      state->progressEnded = true;
      ShowResultsWhenBothEnded(page, *state);
      return TRUE;
    case kSearchEndedMessage:
      state->searchEnded = true;
      ShowResultsWhenBothEnded(page, *state);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (!header || header->idFrom != kResultList) return FALSE;
      HWND list = GetDlgItem(page, kResultList);
      const LRESULT row = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED | LVNI_FOCUSED);
      if (row < 0) return TRUE;
      WCHAR address[20] = {};
      LVITEMW item{};
      item.pszText = address;
      item.cchTextMax = 20;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
      SetDlgItemTextW(page, kAddressControl, address);
      EnableItem(page, IDOK, true);
      return TRUE;
    }
    case WM_COMMAND: break;
    default: return FALSE;
  }
  const int id = LOWORD(wParam);
  const WORD code = HIWORD(wParam);
  if (id == kAddressControl) {
    if (code == EN_KILLFOCUS) {
      WCHAR text[40] = {};
      GetDlgItemTextW(page, kAddressControl, text, 40);
      SetDlgItemTextW(page, kAddressControl, text);
    } else {
      DWORD address = 0;
      EnableItem(page, IDOK, SendDlgItemMessageW(page, kAddressControl, IPM_GETADDRESS, 0,
                                                 reinterpret_cast<LPARAM>(&address)) > 0);
    }
    return TRUE;
  }
  SavePageRect(*ctx, page);
  switch (id) {
    case IDOK: OnSearchPageOk(page, *ctx); return TRUE;
    case kOtherPort:
      if (ShowPortSelectPage(page, *ctx) == 1) EndDialog(page, kOtherPort);
      return TRUE;
    case kSearchAgain:
      if (!state->progressEnded || !state->searchEnded) return TRUE;  // a search still runs
      InitCommonControls();
      SendDlgItemMessageW(page, kResultList, LVM_DELETEALLITEMS, 0, 0);
      StartSearch(page, *ctx, *state);
      return TRUE;
    case kBackButton: EndDialog(page, kResultBack); return TRUE;
    case IDCANCEL: ConfirmCancel(*ctx, page, Leaving::Install); return TRUE;
    default: return TRUE;
  }
}

}  // namespace installer
