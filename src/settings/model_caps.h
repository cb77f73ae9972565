// ModelCaps: one model's capabilities, its item lists and names, and the
// "Defaults" and "Permanent" settings blocks. The entry records, CapsInfo and
// CustomPaperTable are stored formats (printer data); ModelCaps itself is the
// in-memory record (6132 bytes with 32-bit pointers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "plat/base.h"
#include "settings/doc_settings.h"

// The driver generation settings are made for: the classic driver's, or the
// core driver's with our plug-ins (driver version 0x3093, build number 219,
// papers found by their form index, extra papers kept as spooler forms).
enum class Generation { Classic, Plugin };

// ---------------------------------------------------------------------------
// List entries (printer data "Paper", "OutputPaper", "Free Paper", "BinList",
// "Dpi", "Speed", "Density", "Sort")

struct PaperEntry {
  std::int32_t Width;    // 0  micrometres
  std::int32_t Length;   // 4  micrometres
  std::uint16_t InchFlag;  // 8  1 only for custom papers given in inch
  std::uint16_t PaperId;   // 10 DMPAPER id; 119+ unnumbered, 256 free, 300+ custom; 0 output entry 0
  std::uint16_t NameId;    // 12
  std::uint16_t Zero;      // 14
};
static_assert(sizeof(PaperEntry) == 16);
static_assert(offsetof(PaperEntry, Width) == 0 && offsetof(PaperEntry, Length) == 4);
static_assert(offsetof(PaperEntry, InchFlag) == 8 && offsetof(PaperEntry, PaperId) == 10);
static_assert(offsetof(PaperEntry, NameId) == 12 && offsetof(PaperEntry, Zero) == 14);

struct BinEntry {
  std::uint16_t ThirdValue;   // 0  third value of the model entry
  std::uint16_t BinId;        // 2  first value: the DMBIN id reported to applications
  std::uint16_t SecondValue;  // 4
  std::uint16_t NameId;       // 6
};
static_assert(sizeof(BinEntry) == 8);
static_assert(offsetof(BinEntry, ThirdValue) == 0 && offsetof(BinEntry, BinId) == 2);
static_assert(offsetof(BinEntry, SecondValue) == 4 && offsetof(BinEntry, NameId) == 6);

struct ResolutionEntry {
  std::int32_t X;             // 0 dpi
  std::int32_t Y;             // 4 dpi
  std::uint16_t ThirdValue;   // 8
  std::uint16_t NameId;       // 10
};
static_assert(sizeof(ResolutionEntry) == 12);
static_assert(offsetof(ResolutionEntry, X) == 0 && offsetof(ResolutionEntry, Y) == 4);
static_assert(offsetof(ResolutionEntry, ThirdValue) == 8 && offsetof(ResolutionEntry, NameId) == 10);

// Speed, density and sort lists.
struct LevelEntry {
  std::uint16_t Value;   // 0
  std::uint16_t NameId;  // 2
};
static_assert(sizeof(LevelEntry) == 4);
static_assert(offsetof(LevelEntry, Value) == 0 && offsetof(LevelEntry, NameId) == 2);

// ---------------------------------------------------------------------------
// CustomPaperTable (printer data "RdfCustomPaper", 2404 bytes). Entry i
// starts at byte 80 * i; entry 0's first four bytes hold the count.

inline constexpr std::size_t kMaxCustomPapers = 30;
inline constexpr std::size_t kCustomPaperNameUnits = 31;  // 30 characters and a terminator

struct CustomPaperEntry {
  WCHAR Name[kCustomPaperNameUnits];  // +4 from the entry's start
  std::uint16_t Pad;                  // +66
  std::int32_t Width;                 // +68 micrometres
  std::int32_t Length;                // +72 micrometres
  std::uint16_t InchFlag;             // +76
  std::uint16_t PaperId;              // +78
  std::uint8_t NextLead[4];           // first four bytes of the next entry (zero)
};
static_assert(sizeof(CustomPaperEntry) == 80);

struct CustomPaperTable {
  std::uint16_t Count;   // 0
  std::uint16_t Zero;    // 2
  CustomPaperEntry Entry[kMaxCustomPapers];
};
inline constexpr std::size_t kCustomPaperTableSize = 2404;
static_assert(sizeof(CustomPaperTable) == kCustomPaperTableSize);
static_assert(std::has_unique_object_representations_v<CustomPaperTable>);
static_assert(offsetof(CustomPaperTable, Count) == 0);
static_assert(offsetof(CustomPaperTable, Entry) + offsetof(CustomPaperEntry, Name) == 4);
static_assert(offsetof(CustomPaperTable, Entry) + offsetof(CustomPaperEntry, Width) == 68);
static_assert(offsetof(CustomPaperTable, Entry) + offsetof(CustomPaperEntry, Length) == 72);
static_assert(offsetof(CustomPaperTable, Entry) + offsetof(CustomPaperEntry, InchFlag) == 76);
static_assert(offsetof(CustomPaperTable, Entry) + offsetof(CustomPaperEntry, PaperId) == 78);
static_assert(offsetof(CustomPaperTable, Entry) + sizeof(CustomPaperEntry) + offsetof(CustomPaperEntry, Name) == 80 + 4);

// ---------------------------------------------------------------------------
// CapsInfo (printer data "Info", 192 bytes). Availability bytes are named
// after their model data key: 0 shown disabled, 1 enabled, 2 hidden.

struct CapsInfo {
  std::uint8_t DocumentPaperCount;   // 0   model list size + 1 (free paper last)
  std::uint8_t CustomPaperCount;     // 1
  std::uint8_t Reserved2[2];         // 2
  std::int32_t MaxPaperWidth;        // 4   micrometres
  std::int32_t MaxPaperLength;       // 8
  std::int32_t MinPaperWidth;        // 12
  std::int32_t MinPaperLength;       // 16
  std::int32_t FreeDefaultWidth;     // 20
  std::int32_t FreeDefaultLength;    // 24
  std::int32_t Margins[4];           // 28  "MarginSize" in key order
  std::uint16_t NameCount;           // 44  id of the last name given
  std::uint16_t FirstCustomNameId;   // 46
  std::uint8_t OutputPaperCount;     // 48  model list size + 1
  std::uint8_t ResolutionCount;      // 49
  std::uint8_t SpeedCount;           // 50
  std::uint8_t DensityCount;         // 51
  std::uint8_t SortEnable;           // 52
  std::uint8_t StapleEnable;         // 53
  std::uint8_t SortCount;            // 54
  std::uint8_t TapeSortEnable;       // 55
  std::uint8_t TapeSortDefaultOnOFF; // 56
  std::uint8_t HoldMemoryEnable;     // 57
  std::uint8_t Reserved58;           // 58
  std::uint8_t HoldMemoryDefaultOnOFF;     // 59
  std::uint8_t HoldMemoryDirectoryEnable;  // 60
  std::uint8_t ProgramPrintEnable;   // 61
  std::uint8_t AishiEnable;          // 62
  std::uint8_t IntervalEnable;       // 63
  std::uint8_t TurboEnable;          // 64
  std::uint8_t KimituEnable;         // 65
  std::uint8_t SpeedListEnable;      // 66
  std::uint8_t DensityListEnable;    // 67
  std::uint8_t ResolutionEnable;     // 68
  std::uint8_t UserPaperResisterEnable;  // 69
  std::uint8_t UserPaperFileEnable;  // 70
  std::uint8_t Reserved71;           // 71
  std::int32_t NinsyoNoMin;          // 72
  std::int32_t NinsyoNoMax;          // 76
  std::uint8_t OutputPaperEnable;    // 80
  std::uint8_t PageLayoutEnable;     // 81
  std::uint8_t SyuuiYohakuEnable;    // 82
  std::uint8_t RotateEnable;         // 83
  std::uint8_t LayoutImageEnable;    // 84
  std::uint8_t RenzokuModeEnable;    // 85
  std::uint8_t OutputModeEnable;     // 86
  std::uint8_t SeihanEnable;         // 87
  std::uint8_t UsbOutEnable;         // 88
  std::uint8_t PhotoModeEnable;      // 89
  std::uint8_t AmiLineEnable;        // 90
  std::uint8_t AmiAngleEnable;       // 91
  std::uint8_t GazouTyouseiEnable;   // 92
  std::uint8_t AkarusaEnable;        // 93
  std::uint8_t ContrastEnable;       // 94
  std::uint8_t GyakkouEnable;        // 95
  std::uint8_t EdgeEnable;           // 96
  std::uint8_t TextProcEnable;       // 97
  std::uint8_t TextVolumeEnable;     // 98
  std::uint8_t KaityoSmoothEnable;   // 99
  std::uint8_t PhotoSyuruiEnable;    // 100
  std::uint8_t InkInformationEnable; // 101
  std::uint8_t OsusumeSepaEnable;    // 102
  std::uint8_t DrillEnable;          // 103
  std::uint8_t CollateSupported;     // 104 always 0
  std::uint8_t BinCount;             // 105
  std::uint8_t BinListEnable;        // 106
  std::uint8_t BinListDefaultOnOFF;  // 107
  std::uint8_t DrumCount;            // 108
  std::uint8_t InkColorList;         // 109
  std::uint8_t DrumColorPattern;     // 110
  std::uint8_t RGPanelResetEnable;   // 111
  std::uint8_t RGPanelResetDefault;  // 112
  std::uint8_t Reserved113[3];       // 113
  std::int32_t AmiLineMin;           // 116
  std::int32_t AmiLineMax;           // 120
  std::int32_t AmiAngleMin;          // 124
  std::int32_t AmiAngleMax;          // 128
  std::int16_t AmiLineDefault;       // 132
  std::uint8_t AmiAngleDefault;      // 134
  std::uint8_t TextProcDefault;      // 135
  std::uint8_t WindowsKind;          // 136
  std::uint8_t ResourceLanguage;     // 137 resource string 800 as a number
  std::uint8_t SepaProcUseFlag;      // 138 0-2
  std::uint8_t SepaDefaultA;         // 139
  std::uint8_t SepaDefaultACopy;     // 140 same value again
  std::uint8_t SepaDefaultB;         // 141
  std::uint8_t KanPareUseFlag;       // 142
  std::uint8_t SepaDefault;          // 143
  std::int32_t UnitValue;            // 144 pages per minute, 0 when absent
  std::uint8_t DuplexEnable;         // 148
  std::uint8_t SaveSettingEnable;    // 149
  std::uint8_t SaveSettingFileEnable;  // 150
  std::uint8_t PreviewEnable;        // 151
  std::uint16_t RecognizedByPreview; // 152
  std::uint8_t RensyaEnable;         // 154
  std::uint8_t NupEnable;            // 155
  std::uint8_t BookletEnable;        // 156
  std::uint8_t FourPBookletEnable;   // 157 key "4PBookletEnable"
  std::uint8_t BindingMarginEnable;  // 158
  std::uint8_t AutoReduceEnable;     // 159
  std::uint8_t FitPageEnable;        // 160
  std::uint8_t ImagePositionEnable;  // 161
  std::uint8_t ImagePositionEachSettingEnable;  // 162
  std::uint8_t ImagePositionResetEnable;        // 163
  std::uint8_t AppSepaSupportEnable; // 164
  std::uint8_t SepaEnable;           // 165
  std::uint8_t Drum2LightPrintEnable;  // 166
  std::uint8_t ReversePrintEnable;   // 167
  std::uint8_t DrumReverseEnable;    // 168
  std::uint8_t PrinterIPAdressEnable;  // 169
  std::uint8_t PrintColorEntryEnable;  // 170
  std::uint8_t GetInformationType;   // 171
  std::uint8_t GetInformationOn;     // 172 1 for type 1 or 2
  std::uint8_t GetInformationBoth;   // 173 1 for type 2
  std::uint8_t GetInformationEnable; // 174
  std::uint8_t OverseaModelUIChange; // 175
  std::uint8_t DirectPrintOnly;      // 176
  std::uint8_t OriginalSizeEnable;   // 177
  std::uint8_t OrientationEnable;    // 178
  std::uint8_t PrintCopiesEnable;    // 179
  std::uint8_t NinsyoEnable;         // 180
  std::uint8_t SyouInkModeEnable;    // 181
  std::uint8_t Reserved182[2];       // 182
  std::int32_t CopiesMin;            // 184 1
  std::int32_t CopiesMax;            // 188 9999
};
inline constexpr std::size_t kCapsInfoSize = 192;
static_assert(sizeof(CapsInfo) == kCapsInfoSize);
static_assert(std::has_unique_object_representations_v<CapsInfo>, "no implicit padding");
static_assert(offsetof(CapsInfo, DocumentPaperCount) == 0);
static_assert(offsetof(CapsInfo, CustomPaperCount) == 1);
static_assert(offsetof(CapsInfo, MaxPaperWidth) == 4);
static_assert(offsetof(CapsInfo, MaxPaperLength) == 8);
static_assert(offsetof(CapsInfo, MinPaperWidth) == 12);
static_assert(offsetof(CapsInfo, MinPaperLength) == 16);
static_assert(offsetof(CapsInfo, FreeDefaultWidth) == 20);
static_assert(offsetof(CapsInfo, FreeDefaultLength) == 24);
static_assert(offsetof(CapsInfo, Margins) == 28);
static_assert(offsetof(CapsInfo, NameCount) == 44);
static_assert(offsetof(CapsInfo, FirstCustomNameId) == 46);
static_assert(offsetof(CapsInfo, OutputPaperCount) == 48);
static_assert(offsetof(CapsInfo, ResolutionCount) == 49);
static_assert(offsetof(CapsInfo, SpeedCount) == 50);
static_assert(offsetof(CapsInfo, DensityCount) == 51);
static_assert(offsetof(CapsInfo, SortEnable) == 52);
static_assert(offsetof(CapsInfo, StapleEnable) == 53);
static_assert(offsetof(CapsInfo, SortCount) == 54);
static_assert(offsetof(CapsInfo, TapeSortEnable) == 55);
static_assert(offsetof(CapsInfo, TapeSortDefaultOnOFF) == 56);
static_assert(offsetof(CapsInfo, HoldMemoryEnable) == 57);
static_assert(offsetof(CapsInfo, HoldMemoryDefaultOnOFF) == 59);
static_assert(offsetof(CapsInfo, HoldMemoryDirectoryEnable) == 60);
static_assert(offsetof(CapsInfo, ProgramPrintEnable) == 61);
static_assert(offsetof(CapsInfo, AishiEnable) == 62);
static_assert(offsetof(CapsInfo, IntervalEnable) == 63);
static_assert(offsetof(CapsInfo, TurboEnable) == 64);
static_assert(offsetof(CapsInfo, KimituEnable) == 65);
static_assert(offsetof(CapsInfo, SpeedListEnable) == 66);
static_assert(offsetof(CapsInfo, DensityListEnable) == 67);
static_assert(offsetof(CapsInfo, ResolutionEnable) == 68);
static_assert(offsetof(CapsInfo, UserPaperResisterEnable) == 69);
static_assert(offsetof(CapsInfo, UserPaperFileEnable) == 70);
static_assert(offsetof(CapsInfo, NinsyoNoMin) == 72);
static_assert(offsetof(CapsInfo, NinsyoNoMax) == 76);
static_assert(offsetof(CapsInfo, OutputPaperEnable) == 80);
static_assert(offsetof(CapsInfo, PageLayoutEnable) == 81);
static_assert(offsetof(CapsInfo, SyuuiYohakuEnable) == 82);
static_assert(offsetof(CapsInfo, RotateEnable) == 83);
static_assert(offsetof(CapsInfo, LayoutImageEnable) == 84);
static_assert(offsetof(CapsInfo, RenzokuModeEnable) == 85);
static_assert(offsetof(CapsInfo, OutputModeEnable) == 86);
static_assert(offsetof(CapsInfo, SeihanEnable) == 87);
static_assert(offsetof(CapsInfo, UsbOutEnable) == 88);
static_assert(offsetof(CapsInfo, PhotoModeEnable) == 89);
static_assert(offsetof(CapsInfo, AmiLineEnable) == 90);
static_assert(offsetof(CapsInfo, AmiAngleEnable) == 91);
static_assert(offsetof(CapsInfo, GazouTyouseiEnable) == 92);
static_assert(offsetof(CapsInfo, AkarusaEnable) == 93);
static_assert(offsetof(CapsInfo, ContrastEnable) == 94);
static_assert(offsetof(CapsInfo, GyakkouEnable) == 95);
static_assert(offsetof(CapsInfo, EdgeEnable) == 96);
static_assert(offsetof(CapsInfo, TextProcEnable) == 97);
static_assert(offsetof(CapsInfo, TextVolumeEnable) == 98);
static_assert(offsetof(CapsInfo, KaityoSmoothEnable) == 99);
static_assert(offsetof(CapsInfo, PhotoSyuruiEnable) == 100);
static_assert(offsetof(CapsInfo, InkInformationEnable) == 101);
static_assert(offsetof(CapsInfo, OsusumeSepaEnable) == 102);
static_assert(offsetof(CapsInfo, DrillEnable) == 103);
static_assert(offsetof(CapsInfo, CollateSupported) == 104);
static_assert(offsetof(CapsInfo, BinCount) == 105);
static_assert(offsetof(CapsInfo, BinListEnable) == 106);
static_assert(offsetof(CapsInfo, BinListDefaultOnOFF) == 107);
static_assert(offsetof(CapsInfo, DrumCount) == 108);
static_assert(offsetof(CapsInfo, InkColorList) == 109);
static_assert(offsetof(CapsInfo, DrumColorPattern) == 110);
static_assert(offsetof(CapsInfo, RGPanelResetEnable) == 111);
static_assert(offsetof(CapsInfo, RGPanelResetDefault) == 112);
static_assert(offsetof(CapsInfo, AmiLineMin) == 116);
static_assert(offsetof(CapsInfo, AmiLineMax) == 120);
static_assert(offsetof(CapsInfo, AmiAngleMin) == 124);
static_assert(offsetof(CapsInfo, AmiAngleMax) == 128);
static_assert(offsetof(CapsInfo, AmiLineDefault) == 132);
static_assert(offsetof(CapsInfo, AmiAngleDefault) == 134);
static_assert(offsetof(CapsInfo, TextProcDefault) == 135);
static_assert(offsetof(CapsInfo, WindowsKind) == 136);
static_assert(offsetof(CapsInfo, ResourceLanguage) == 137);
static_assert(offsetof(CapsInfo, SepaProcUseFlag) == 138);
static_assert(offsetof(CapsInfo, SepaDefaultA) == 139);
static_assert(offsetof(CapsInfo, SepaDefaultACopy) == 140);
static_assert(offsetof(CapsInfo, SepaDefaultB) == 141);
static_assert(offsetof(CapsInfo, KanPareUseFlag) == 142);
static_assert(offsetof(CapsInfo, SepaDefault) == 143);
static_assert(offsetof(CapsInfo, UnitValue) == 144);
static_assert(offsetof(CapsInfo, DuplexEnable) == 148);
static_assert(offsetof(CapsInfo, SaveSettingEnable) == 149);
static_assert(offsetof(CapsInfo, SaveSettingFileEnable) == 150);
static_assert(offsetof(CapsInfo, PreviewEnable) == 151);
static_assert(offsetof(CapsInfo, RecognizedByPreview) == 152);
static_assert(offsetof(CapsInfo, RensyaEnable) == 154);
static_assert(offsetof(CapsInfo, NupEnable) == 155);
static_assert(offsetof(CapsInfo, BookletEnable) == 156);
static_assert(offsetof(CapsInfo, FourPBookletEnable) == 157);
static_assert(offsetof(CapsInfo, BindingMarginEnable) == 158);
static_assert(offsetof(CapsInfo, AutoReduceEnable) == 159);
static_assert(offsetof(CapsInfo, FitPageEnable) == 160);
static_assert(offsetof(CapsInfo, ImagePositionEnable) == 161);
static_assert(offsetof(CapsInfo, ImagePositionEachSettingEnable) == 162);
static_assert(offsetof(CapsInfo, ImagePositionResetEnable) == 163);
static_assert(offsetof(CapsInfo, AppSepaSupportEnable) == 164);
static_assert(offsetof(CapsInfo, SepaEnable) == 165);
static_assert(offsetof(CapsInfo, Drum2LightPrintEnable) == 166);
static_assert(offsetof(CapsInfo, ReversePrintEnable) == 167);
static_assert(offsetof(CapsInfo, DrumReverseEnable) == 168);
static_assert(offsetof(CapsInfo, PrinterIPAdressEnable) == 169);
static_assert(offsetof(CapsInfo, PrintColorEntryEnable) == 170);
static_assert(offsetof(CapsInfo, GetInformationType) == 171);
static_assert(offsetof(CapsInfo, GetInformationOn) == 172);
static_assert(offsetof(CapsInfo, GetInformationBoth) == 173);
static_assert(offsetof(CapsInfo, GetInformationEnable) == 174);
static_assert(offsetof(CapsInfo, OverseaModelUIChange) == 175);
static_assert(offsetof(CapsInfo, DirectPrintOnly) == 176);
static_assert(offsetof(CapsInfo, OriginalSizeEnable) == 177);
static_assert(offsetof(CapsInfo, OrientationEnable) == 178);
static_assert(offsetof(CapsInfo, PrintCopiesEnable) == 179);
static_assert(offsetof(CapsInfo, NinsyoEnable) == 180);
static_assert(offsetof(CapsInfo, SyouInkModeEnable) == 181);
static_assert(offsetof(CapsInfo, CopiesMin) == 184);
static_assert(offsetof(CapsInfo, CopiesMax) == 188);

// ---------------------------------------------------------------------------
// NameList: every list item's name, ids 1, 2, 3 ... in the order appended.
// Stored as printer data, one REG_SZ value per node named "%4d" of its id.

inline constexpr std::size_t kNameTextUnits = 256;  // 255 units and a terminator

struct NameList {
  std::uint16_t Id;
  std::uint16_t Length;               // units, without the terminator
  NameList* Next;
  WCHAR Text[kNameTextUnits];         // always terminated
};

const NameList* NameListFind(const NameList* head, unsigned id);
// The text of the node with this id, or nullptr.
const WCHAR* NameListText(const NameList* head, unsigned id);

// ---------------------------------------------------------------------------
// ModelCaps. Zero-filled when created; the lists, the table and the four texts
// are separate blocks owned by the record and freed by FreeModelCaps.

struct ModelCaps {
  WCHAR* DataFile;                  // data file path
  WCHAR* ModelName;                 // model data file section, DEVMODE device name
  WCHAR* PrinterName;
  CapsInfo Info;
  PaperEntry* OutputPapers;         // Info.OutputPaperCount entries
  PaperEntry* Papers;               // document papers (free paper last), then custom papers
  CustomPaperTable* CustomPapers;
  PaperEntry FreePaper;             // the model's free paper record
  BinEntry* Bins;                   // Info.BinCount
  LevelEntry* Speeds;               // Info.SpeedCount
  LevelEntry* Densities;            // Info.DensityCount
  ResolutionEntry* Resolutions;     // Info.ResolutionCount
  LevelEntry* Sorts;                // Info.SortCount
  NameList* Names;                  // head node
  DocSettings Defaults;
  DocSettings Permanent;
  WCHAR* ResourceDll;               // resource library path

  std::size_t PaperCount() const { return std::size_t{Info.DocumentPaperCount} + Info.CustomPaperCount; }
};

// 6132 bytes where pointers take 4 bytes; each of the 13 pointers adds the rest.
inline constexpr std::size_t kModelCapsPointerGrowth = 13 * (sizeof(void*) - 4);
static_assert(sizeof(ModelCaps) == 6132 + kModelCapsPointerGrowth);
static_assert(std::is_trivially_copyable_v<ModelCaps> && std::is_standard_layout_v<ModelCaps>);
static_assert(offsetof(ModelCaps, Info) == 3 * sizeof(void*));
static_assert(offsetof(ModelCaps, OutputPapers) == 3 * sizeof(void*) + 192);
static_assert(offsetof(ModelCaps, FreePaper) == 6 * sizeof(void*) + 192);
static_assert(offsetof(ModelCaps, Bins) == 6 * sizeof(void*) + 208);
static_assert(offsetof(ModelCaps, Defaults) == 12 * sizeof(void*) + 208);
static_assert(offsetof(ModelCaps, Permanent) == 12 * sizeof(void*) + 208 + 2936);
static_assert(offsetof(ModelCaps, ResourceDll) == 12 * sizeof(void*) + 208 + 2 * 2936);

// The n-th entry of each list, or nullptr when n is outside the list.
const PaperEntry* PaperAt(const ModelCaps& caps, std::size_t n);
const PaperEntry* OutputPaperAt(const ModelCaps& caps, std::size_t n);
const BinEntry* BinAt(const ModelCaps& caps, std::size_t n);
const ResolutionEntry* ResolutionAt(const ModelCaps& caps, std::size_t n);
const LevelEntry* SpeedAt(const ModelCaps& caps, std::size_t n);
const LevelEntry* DensityAt(const ModelCaps& caps, std::size_t n);
const LevelEntry* SortAt(const ModelCaps& caps, std::size_t n);
