#include "sheets/custom_papers.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "settings/caps_store.h"

namespace {

constexpr std::uint16_t kFirstCustomPaperId = 300;

std::u16string_view NameOf(const WCHAR* text, std::size_t units) {
  return {text, FieldTextLength(std::span<const WCHAR>(text, units))};
}

std::int32_t ClampToWholeMillimetres(std::int32_t micrometres, std::int32_t minimum, std::int32_t maximum) {
  return std::clamp(micrometres / 1000, minimum / 1000, maximum / 1000) * 1000;
}

}  // namespace

void LoadUserPaperTable(const ModelCaps& caps, UserPaperTable& table) {
  std::memset(&table, 0, sizeof table);
  const std::size_t count = caps.Papers ? std::min<std::size_t>(caps.Info.CustomPaperCount, kMaxCustomPapers) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    const PaperEntry& paper = caps.Papers[caps.Info.DocumentPaperCount + i];
    UserPaper& e = table.Entry[i];
    e.Width = paper.Width;
    e.Length = paper.Length;
    e.InchFlag = paper.InchFlag;
    const WCHAR* name = NameListText(caps.Names, paper.NameId);
    SetFieldText(e.Name, name ? std::u16string_view(name) : std::u16string_view());
  }
  table.Count = static_cast<std::uint16_t>(count);
}

int MergeUserPapers(ModelCaps& caps, const UserPaperTable& table) {
  const std::size_t documents = caps.Info.DocumentPaperCount;
  const std::size_t count = std::min<std::size_t>(table.Count, kMaxCustomPapers);
  auto* papers = static_cast<PaperEntry*>(GlobalAlloc(GPTR, (documents + count) * sizeof(PaperEntry)));
  if (!papers || !caps.Names) {
    if (papers) GlobalFree(papers);
    return 0;
  }
  // The name of the paper "Defaults" chose, to find it again after a reorder.
  WCHAR chosen[kCustomPaperNameUnits] = {};
  const std::uint16_t chosenIndex = caps.Defaults.PaperIndex;
  const bool chosenCustom = chosenIndex >= documents && chosenIndex < caps.PaperCount() && caps.Papers;
  if (chosenCustom) {
    const WCHAR* name = NameListText(caps.Names, caps.Papers[chosenIndex].NameId);
    SetFieldText(chosen, name ? std::u16string_view(name) : std::u16string_view());
  }
  for (std::size_t i = 0; caps.Papers && i < caps.Info.CustomPaperCount; ++i) {
    NameListRemove(caps.Names, caps.Papers[documents + i].NameId);
  }
  if (caps.Papers) std::copy(caps.Papers, caps.Papers + documents, papers);
  std::uint16_t lastId = 0;
  for (const NameList* node = caps.Names; node; node = node->Next) lastId = node->Id;
  for (std::size_t i = 0; i < count; ++i) {
    PaperEntry& e = papers[documents + i];
    e = PaperEntry{};
    e.Width = table.Entry[i].Width;
    e.Length = table.Entry[i].Length;
    e.InchFlag = table.Entry[i].InchFlag;
    e.PaperId = static_cast<std::uint16_t>(kFirstCustomPaperId + i);
    const NameList* node = NameListAppend(caps.Names, NameOf(table.Entry[i].Name, kCustomPaperNameUnits));
    e.NameId = node ? node->Id : 0;
    if (node) lastId = node->Id;
  }
  GlobalFree(caps.Papers);
  caps.Papers = papers;
  caps.Info.CustomPaperCount = static_cast<std::uint8_t>(count);
  caps.Info.NameCount = lastId;

  if (chosenCustom) {
    std::uint16_t index = caps.Permanent.PaperIndex < documents + count ? caps.Permanent.PaperIndex : 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (NameOf(table.Entry[i].Name, kCustomPaperNameUnits) == NameOf(chosen, kCustomPaperNameUnits)) {
        index = static_cast<std::uint16_t>(documents + i);
        break;
      }
    }
    caps.Defaults.PaperIndex = index;
  }
  return 1;
}

std::uint16_t AddUniquePaper(const WCHAR* slots, const CustomPaperEntry& paper, UserPaperTable& table,
                             std::uint16_t count, std::size_t names) {
  if (count >= kMaxCustomPapers) return count;
  const std::u16string_view name = NameOf(paper.Name, kCustomPaperNameUnits);
  for (std::size_t i = 0; slots && i < names; ++i) {
    if (NameOf(slots + i * kNameSlotUnits, kNameSlotUnits) == name) return count;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (NameOf(table.Entry[i].Name, kCustomPaperNameUnits) == name) return count;
  }
  UserPaper& e = table.Entry[count];
  e = UserPaper{};
  e.Width = paper.Width;
  e.Length = paper.Length;
  e.InchFlag = paper.InchFlag;
  SetFieldText(e.Name, name);
  return static_cast<std::uint16_t>(count + 1);
}

int RestoreUserPapers(DevSheetContext& context) {
  ModelCaps& caps = context.Caps;
  auto* table = static_cast<UserPaperTable*>(GlobalAlloc(GPTR, sizeof(UserPaperTable)));
  if (!table) return 0;
  LoadUserPaperTable(caps, *table);
  const std::size_t names = caps.PaperCount();
  auto* slots = static_cast<WCHAR*>(GlobalAlloc(GPTR, std::max<std::size_t>(names, 1) * kNameSlotUnits * sizeof(WCHAR)));
  if (!slots) {
    GlobalFree(table);
    return 0;
  }
  if (caps.Papers) CopyListNames(caps.Names, std::span<const PaperEntry>(caps.Papers, names), slots);
  std::uint16_t count = table->Count;
  const CustomPaperTable* model = caps.CustomPapers;
  const std::size_t modelCount = model ? std::min<std::size_t>(model->Count, kMaxCustomPapers) : 0;
  const CapsInfo& info = caps.Info;
  for (std::size_t i = 0; i < modelCount && count < kMaxCustomPapers; ++i) {
    CustomPaperEntry paper = model->Entry[i];
    paper.Width = ClampToWholeMillimetres(paper.Width, info.MinPaperWidth, info.MaxPaperWidth);
    paper.Length = ClampToWholeMillimetres(paper.Length, info.MinPaperLength, info.MaxPaperLength);
    count = AddUniquePaper(slots, paper, *table, count, names);
  }
  table->Count = count;
  const int merged = MergeUserPapers(caps, *table);
  GlobalFree(slots);
  GlobalFree(table);
  return merged;
}
