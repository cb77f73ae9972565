#include "settings/model_caps.h"

namespace {
template <typename T>
const T* EntryAt(const T* list, std::size_t count, std::size_t n) {
  return list != nullptr && n < count ? &list[n] : nullptr;
}
}  // namespace

const PaperEntry* PaperAt(const ModelCaps& caps, std::size_t n) { return EntryAt(caps.Papers, caps.PaperCount(), n); }
const PaperEntry* OutputPaperAt(const ModelCaps& caps, std::size_t n) {
  return EntryAt(caps.OutputPapers, caps.Info.OutputPaperCount, n);
}
const BinEntry* BinAt(const ModelCaps& caps, std::size_t n) { return EntryAt(caps.Bins, caps.Info.BinCount, n); }
const ResolutionEntry* ResolutionAt(const ModelCaps& caps, std::size_t n) {
  return EntryAt(caps.Resolutions, caps.Info.ResolutionCount, n);
}
const LevelEntry* SpeedAt(const ModelCaps& caps, std::size_t n) { return EntryAt(caps.Speeds, caps.Info.SpeedCount, n); }
const LevelEntry* DensityAt(const ModelCaps& caps, std::size_t n) {
  return EntryAt(caps.Densities, caps.Info.DensityCount, n);
}
const LevelEntry* SortAt(const ModelCaps& caps, std::size_t n) { return EntryAt(caps.Sorts, caps.Info.SortCount, n); }

const NameList* NameListFind(const NameList* head, unsigned id) {
  for (const NameList* n = head; n; n = n->Next)
    if (n->Id == id) return n;
  return nullptr;
}

const WCHAR* NameListText(const NameList* head, unsigned id) {
  const NameList* n = NameListFind(head, id);
  return n ? n->Text : nullptr;
}
