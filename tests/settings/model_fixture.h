// Small one- and two-drum models built in memory, a printer for them in the
// spooler model, and byte readers for checking stored layouts.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plat/windows.h"
#include "settings/caps_store.h"
#include "settings/model_caps.h"
#include "settings/private_devmode.h"
#include "support/test_printer.h"

namespace fixture {

inline std::uint16_t U16(const BYTE* p, std::size_t off) { return static_cast<std::uint16_t>(p[off] | (p[off + 1] << 8)); }
inline std::int16_t I16(const BYTE* p, std::size_t off) { return static_cast<std::int16_t>(U16(p, off)); }
inline std::uint32_t U32(const BYTE* p, std::size_t off) {
  return std::uint32_t{p[off]} | (std::uint32_t{p[off + 1]} << 8) | (std::uint32_t{p[off + 2]} << 16) |
         (std::uint32_t{p[off + 3]} << 24);
}
inline std::int32_t I32(const BYTE* p, std::size_t off) { return static_cast<std::int32_t>(U32(p, off)); }
inline std::u16string Text(const BYTE* p, std::size_t off, std::size_t maxUnits) {
  std::u16string s;
  for (std::size_t i = 0; i < maxUnits; ++i) {
    char16_t c = U16(p, off + 2 * i);
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

struct CapsDeleter {
  void operator()(ModelCaps* c) const {
    FreeModelCaps(c, true);
    GlobalFree(c);
  }
};
using CapsPtr = std::unique_ptr<ModelCaps, CapsDeleter>;

struct DevmodeDeleter {
  void operator()(PrivateDevmode* p) const { GlobalFree(p); }
};
using DevmodePtr = std::unique_ptr<PrivateDevmode, DevmodeDeleter>;

template <typename T>
T* Block(const std::vector<T>& entries) {
  auto* p = static_cast<T*>(GlobalAlloc(GPTR, (entries.empty() ? 1 : entries.size()) * sizeof(T)));
  if (!entries.empty()) std::memcpy(p, entries.data(), entries.size() * sizeof(T));
  return p;
}

inline const std::u16string kPrinter = u"Duplicator Test";

// Names: 1 A4, 2 A3, 3 B5, 4 Free size, 5 No change, 6 A4 output, 7 Auto, 8 Tray 2,
// 9 300 dpi, 10 300x600 dpi, 11 Slow, 12 Fast, 13 Light, 14 Dark, 15 None,
// 16 Sorter, 17 Stapler, 18 Free, 19 Custom A.
inline CapsPtr MakeModel(int drums) {
  CapsPtr caps(AllocModelCaps());
  ModelCaps& c = *caps;
  c.DataFile = DuplicateText(u"C:\\drivers\\model.rdf");
  c.ModelName = DuplicateText(drums == 2 ? u"NEVO Duo 9" : u"NEVO Solo 5");
  c.PrinterName = DuplicateText(kPrinter);
  c.ResourceDll = DuplicateText(u"C:\\drivers\\nevores.dll");
  for (const char16_t* n : {u"A4", u"A3", u"B5", u"Free size", u"No change", u"A4 output", u"Auto", u"Tray 2",
                            u"300 dpi", u"300x600 dpi", u"Slow", u"Fast", u"Light", u"Dark", u"None", u"Sorter",
                            u"Stapler", u"Free", u"Custom A"}) {
    NameList* node = NameListAppend(c.Names, n);
    if (!c.Names) c.Names = node;
  }
  CapsInfo& i = c.Info;
  i.DocumentPaperCount = 4;
  i.CustomPaperCount = 1;
  i.MaxPaperWidth = 320000;
  i.MaxPaperLength = 432000;
  i.MinPaperWidth = 90000;
  i.MinPaperLength = 140000;
  i.FreeDefaultWidth = 100000;
  i.FreeDefaultLength = 148000;
  i.Margins[0] = 50;
  i.Margins[1] = 60;
  i.Margins[2] = 70;
  i.Margins[3] = 80;
  i.NameCount = 19;
  i.FirstCustomNameId = 19;
  i.OutputPaperCount = 2;
  i.ResolutionCount = 2;
  i.SpeedCount = 2;
  i.DensityCount = 2;
  i.SortCount = 3;
  i.BinCount = 2;
  i.DrumCount = static_cast<std::uint8_t>(drums);
  i.DrumColorPattern = drums == 2 ? 1 : 0;
  i.DuplexEnable = drums == 2 ? 1 : 0;
  i.RecognizedByPreview = 0x1234;
  i.DirectPrintOnly = 1;
  i.WindowsKind = 5;
  i.ResourceLanguage = 7;
  i.CopiesMin = 1;
  i.CopiesMax = 9999;
  i.AmiLineDefault = -3;

  c.Papers = Block<PaperEntry>({{210000, 297000, 0, 9, 1, 0},
                                {297000, 420000, 0, 8, 2, 0},
                                {182000, 257000, 0, 119, 3, 0},
                                {100000, 148000, 0, 256, 4, 0},
                                {215900, 279400, 1, 300, 19, 0}});
  c.OutputPapers = Block<PaperEntry>({{0, 0, 0, 0, 5, 0}, {210000, 297000, 0, 9, 6, 0}});
  c.FreePaper = {100000, 148000, 0, 256, 18, 0};
  c.Bins = Block<BinEntry>({{0, 7, 0, 7}, {3, 257, 2, 8}});
  c.Resolutions = Block<ResolutionEntry>({{300, 300, 0, 9}, {300, 600, 1, 10}});
  c.Speeds = Block<LevelEntry>({{1, 11}, {2, 12}});
  c.Densities = Block<LevelEntry>({{1, 13}, {3, 14}});
  c.Sorts = Block<LevelEntry>({{0, 15}, {1, 16}, {2, 17}});
  BuildCustomPaperTable(&c);

  DocSettings& d = c.Defaults;
  d.ColorMode = drums == 2 ? 2 : 1;
  d.OneInkIndex = drums == 2 ? 1 : 0;
  d.Copies = drums == 2 ? 3 : 0x10005;
  d.InkLab = kInkLabDefaults;
  d.OneInkColor = 1001;
  d.Drum1Color = 1001;
  d.Drum2Color = 1004;
  d.InkMarks[ColorIdIndex(1001)] = 1;
  d.InkMarks[ColorIdIndex(1004)] = 1;
  d.HoldNameFromDoc = 1;
  d.UsbNameFromDoc = 1;
  SetFieldText(d.PrinterAddress, u"0.0.0.0");
  d.InkInformation = 1;
  d.FreeWidth = drums == 2 ? 100000 : 100049;
  d.FreeLength = drums == 2 ? 148000 : 148051;
  d.AmiLine = 85;
  d.AmiAngle = -45;
  if (drums == 2) {
    d.PaperIndex = 1;  // A3
    d.Landscape = 1;
    d.BinIndex = 1;
    d.ResolutionIndex = 1;  // 300 x 600
    d.OutputPaperIndex = 1;
    d.SpeedIndex = 1;
    d.Density1 = 1;
    d.Density2 = 0;
    SetSortKind(d, 2);
    d.TapeSorterInstalled = 1;
    d.HoldMemoryInstalled = 1;
    d.BinListInstalled = 1;
  } else {
    d.FreePaper = 1;
    d.PaperIndex = 3;
  }
  c.Permanent = d;
  return caps;
}

// A fresh spooler with one printer (optionally with its own DEVMODE).
inline void AddTestPrinter(std::vector<BYTE> devmode = {}) {
  plat::spooler::Reset();
  plat::spooler::PrinterSetup setup = testsupport::PrinterSetupOf(
      kPrinter, u"LPT1:", u"NEVO Duo 9", u"C:\\drivers\\nevorender.dll", u"", u"", {u"C:\\drivers\\nevores.dll"});
  setup.devmode = std::move(devmode);
  plat::spooler::AddPrinter(setup);
}

struct Printer : testsupport::PrinterHandle {
  explicit Printer(ACCESS_MASK access = PRINTER_ALL_ACCESS) : PrinterHandle(kPrinter, access) {}
};

inline std::vector<BYTE> Bytes(const void* p, std::size_t n) {
  const auto* b = static_cast<const BYTE*>(p);
  return std::vector<BYTE>(b, b + n);
}

inline void SetValue(std::u16string_view name, std::vector<BYTE> bytes, DWORD type = REG_BINARY) {
  testsupport::SetPrinterValue(kPrinter, name, std::move(bytes), type);
}

inline std::vector<BYTE> TextBytes(std::u16string_view text) {
  return Bytes(text.data(), text.size() * 2);
}

}  // namespace fixture
