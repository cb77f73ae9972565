// The search page 121 with its search and progress threads (page 123).
#pragma once

#include <atomic>
#include <cstddef>

#include "installer/setup_context.h"

namespace installer {

// One answer of the search library: 44 bytes.
struct SearchResultEntry {
  BYTE mac[6];
  BYTE padding[2];
  BYTE address[4];  // IPv4, network byte order
  char name[32];    // UTF-8, zero-terminated
};
static_assert(offsetof(SearchResultEntry, mac) == 0);
static_assert(offsetof(SearchResultEntry, address) == 8);
static_assert(offsetof(SearchResultEntry, name) == 12);
static_assert(sizeof(SearchResultEntry) == 44);

constexpr int kMaxSearchResults = 256;
constexpr DWORD kSearchResultBytes = kMaxSearchResults * sizeof(SearchResultEntry);
static_assert(kSearchResultBytes == 0x2C00);

// The filter handed to NevoSetFilter: three 16-byte ASCII words.
constexpr std::size_t kFilterSlot = 16;
constexpr std::size_t kFilterBytes = 48;
constexpr int kFilterWords = 3;

struct NetworkSearchRecord {
  HWND page;
  HMODULE languageLibrary;
  std::atomic<INT> done;  // 1 once the search call returned non-zero (release)
  SearchResultEntry results[kMaxSearchResults];
  const WCHAR* resourceFolder;
  INT status;
  INT count;
};

// Messages to the search page.
constexpr UINT kProgressEndedMessage = WM_APP;      // the progress page ended
constexpr UINT kSearchEndedMessage = WM_APP + 1;    // the search thread ended

// The search through "Nevosrch.dll"; the library's result (0 when it or its
// export is missing).
int SearchNetworkPrinters(NetworkSearchRecord& record);
DWORD SearchThread(LPVOID record);
DWORD SearchProgressThread(LPVOID record);
INT_PTR SearchProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Rows of list 1031 from a finished search; 1, or 0 when there is no result.
int FillSearchResultList(HWND page, const NetworkSearchRecord& record);
INT_PTR NetworkSearchPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace installer
