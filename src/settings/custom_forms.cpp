#include "settings/custom_forms.h"

#include <algorithm>
#include <cstring>

#include "plat/strings.h"

namespace {

// The paper's name, "" when the name list has none.
std::u16string_view PaperName(const ModelCaps& caps, const PaperEntry& e) {
  const WCHAR* text = NameListText(caps.Names, e.NameId);
  return text ? plat::view(text) : std::u16string_view();
}

// A paper the spooler knows only as a user form: a custom paper, or a
// document paper (but the free-size paper) without a built-in form's number.
// An id of 0 is such a paper whose form was not found (it was stored as 0),
// so a form deleted meanwhile is made again.
bool ServedByUserForm(const ModelCaps& caps, std::size_t position, std::uint16_t id) {
  const std::size_t documents = caps.Info.DocumentPaperCount;
  if (position >= documents) return true;
  return position + 1 != documents && (id == 0 || id > kLastBuiltinForm);
}

FORM_INFO_1W UserFormOf(const PaperEntry& e, std::u16string& name) {
  FORM_INFO_1W f{};
  f.Flags = FORM_USER;
  f.pName = name.data();
  f.Size = SIZEL{e.Width, e.Length};
  f.ImageableArea = RECTL{0, 0, e.Width, e.Length};
  return f;
}

}  // namespace

std::optional<std::vector<SpoolerForm>> ListSpoolerForms(HANDLE printer) {
  DWORD needed = 0, returned = 0;
  if (EnumFormsW(printer, 1, nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed == 0) {
    return std::nullopt;
  }
  HLOCAL block = LocalAlloc(LPTR, needed);
  if (!block) return std::nullopt;
  std::optional<std::vector<SpoolerForm>> forms;
  if (EnumFormsW(printer, 1, static_cast<LPBYTE>(block), needed, &needed, &returned)) {
    forms.emplace();
    const auto* f = static_cast<const FORM_INFO_1W*>(block);
    // Never more records than the block holds.
    returned = std::min<DWORD>(returned, needed / sizeof(FORM_INFO_1W));
    for (DWORD i = 0; i < returned; ++i) forms->push_back({f[i].Flags, std::u16string(plat::view(f[i].pName)), f[i].Size});
  }
  LocalFree(block);
  return forms;
}

void RegisterCustomFormsIn(HANDLE printer, const ModelCaps& caps, std::span<PaperEntry> papers) {
  for (std::size_t i = 0; i < papers.size(); ++i) {
    PaperEntry& e = papers[i];
    if (!ServedByUserForm(caps, i, e.PaperId)) continue;
    std::u16string name(PaperName(caps, e));
    FORM_INFO_1W wanted = UserFormOf(e, name);
    DWORD needed = 0;
    bool exists = false;
    if (!GetFormW(printer, name.c_str(), 1, nullptr, 0, &needed) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      if (HLOCAL block = LocalAlloc(LPTR, needed)) {
        if (GetFormW(printer, name.c_str(), 1, static_cast<LPBYTE>(block), needed, &needed)) {
          exists = true;
          const auto* have = static_cast<const FORM_INFO_1W*>(block);
          if (have->Flags != FORM_USER || have->Size.cx != e.Width || have->Size.cy != e.Length) {
            SetFormW(printer, name.c_str(), 1, reinterpret_cast<LPBYTE>(&wanted));
          }
        }
        LocalFree(block);
      }
    }
    if (!exists) AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&wanted));
    e.PaperId = 0;
  }
}

int RegisterCustomForms(HANDLE printer, ModelCaps& caps) {
  if (caps.Papers) RegisterCustomFormsIn(printer, caps, std::span<PaperEntry>(caps.Papers, caps.PaperCount()));
  return 1;
}

int MapCustomFormIndices(HANDLE printer, ModelCaps& caps) {
  if (!caps.Papers) return 1;
  const std::span<PaperEntry> papers(caps.Papers, caps.PaperCount());
  const std::size_t documents = caps.Info.DocumentPaperCount;
  auto mapped = [&](std::size_t i) {
    const std::uint16_t id = papers[i].PaperId;
    return i + 1 != documents && (id == 0 || id > kLastBuiltinForm);
  };
  const auto forms = ListSpoolerForms(printer);
  for (std::size_t i = 0; i < papers.size(); ++i) {
    if (!mapped(i)) continue;
    PaperEntry& e = papers[i];
    e.PaperId = 0;
    if (!forms) continue;
    const std::u16string_view name = PaperName(caps, e);
    for (std::size_t f = kLastBuiltinForm; f < forms->size(); ++f) {
      const SpoolerForm& form = (*forms)[f];
      if (form.Flags == FORM_USER && form.Size.cx == e.Width && form.Size.cy == e.Length && form.Name == name) {
        e.PaperId = static_cast<std::uint16_t>(f + 1);
        break;
      }
    }
  }
  if (!forms) return 0;
  if (caps.OutputPapers) {
    for (std::size_t o = 1; o < caps.Info.OutputPaperCount; ++o) {
      PaperEntry& out = caps.OutputPapers[o];
      if (out.PaperId <= kLastBuiltinForm) continue;
      const std::u16string_view name = PaperName(caps, out);
      for (std::size_t d = 0; d + 1 < documents && d < papers.size(); ++d) {
        if (PaperName(caps, papers[d]) == name) {
          out.PaperId = papers[d].PaperId;
          break;
        }
      }
    }
  }
  return 1;
}
