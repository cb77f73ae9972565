#include "plugincommon/plugin_devmode.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "settings/byte_order.h"
#include "settings/caps_store.h"
#include "settings/drum_pick.h"

namespace oemdm {

Header ReadHeader(const void* part) {
  const auto* p = static_cast<const BYTE*>(part);
  return {GetLe32(p + kSizeField), GetLe32(p + kSignatureField), GetLe32(p + kVersionField)};
}

void WriteHeader(void* part, const Header& header) {
  auto* p = static_cast<BYTE*>(part);
  PutLe32(p + kSizeField, header.size);
  PutLe32(p + kSignatureField, header.signature);
  PutLe32(p + kVersionField, header.version);
}

DocSettings ReadSettings(std::span<const BYTE, kSize> part) {
  DocSettings s;
  std::memcpy(&s, part.data() + kSettings, sizeof s);
  return s;
}

void WriteSettings(std::span<BYTE, kSize> part, const DocSettings& settings) {
  std::memcpy(part.data() + kSettings, &settings, sizeof settings);
}

}  // namespace oemdm

namespace {

using oemdm::kSize;

// A zeroed part on the heap; empty without memory.
std::unique_ptr<BYTE[]> NewPart() { return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[kSize]()); }

}  // namespace

BOOL OemSetDevmodeHeader(void* part) {
  if (!part) return 0;
  oemdm::WriteHeader(part, oemdm::kOwnHeader);
  return 1;
}

BOOL OemDefaultDevmode(void* part, HANDLE printer) {
  if (!part) return 0;
  auto* p = static_cast<BYTE*>(part);
  oemdm::WriteHeader(p, oemdm::kOwnHeader);
  std::memset(p + oemdm::kPrivateBlock, 0, kPrivateDevmodeExtra);

  auto* stored = static_cast<PrivateDevmode*>(GlobalAlloc(GPTR, sizeof(PrivateDevmode)));
  if (!stored) return 1;
  stored->Public.dmSize = kPublicDevmodeSize;
  stored->Public.dmDriverExtra = kPrivateDevmodeExtra;
  if (ReadDefaultDevmodeFromHandle(printer, &stored->Public) == 1) {
    OutputDebugStringA("COemNevoUI::OEMDM_DEFAULT Register be setted\n");
    const std::size_t extra = std::min<std::size_t>(stored->Public.dmDriverExtra, kPrivateDevmodeExtra);
    std::memcpy(p + oemdm::kPrivateBlock, reinterpret_cast<const BYTE*>(stored) + kPublicDevmodeSize, extra);
  } else {
    OutputDebugStringA("COemNevoUI::OEMDM_DEFAULT Register be not setted\n");
  }
  GlobalFree(stored);
  return 1;
}

BOOL LoadDefaultSettings(HANDLE printer, const DocSettings& source, DocSettings& target, BYTE drumColorPattern,
                         BYTE keepInk) {
  const bool takeInk = keepInk == 0;
  RestoreDeviceLevelValues(target, TakeDeviceLevelValues(source), takeInk);
  if (takeInk) {
    PickDrumColors(std::span<const std::uint8_t, kColorIdCount>(target.InkMarks), target.OneInkColor,
                   target.Drum1Color, target.Drum2Color, drumColorPattern);
  }
  ApplyOptionRules(target, ReadPermanentSettings(printer));
  return 1;
}

BOOL OemConvertDevmode(const void* in, void* out, DWORD outputBytes, HANDLE printer, DEVMODEW* publicOut) {
  if (!in || !out || outputBytes < kSize) return 0;
  std::unique_ptr<BYTE[]> defaults = NewPart();
  if (!defaults) return 0;
  OemDefaultDevmode(defaults.get(), printer);

  const auto* input = static_cast<const BYTE*>(in);
  auto* output = static_cast<BYTE*>(out);
  const oemdm::Header inHeader = oemdm::ReadHeader(input);
  const oemdm::Header outHeader = oemdm::ReadHeader(output);
  // A size that does not even cover the header says the part is not one of ours.
  const bool same = inHeader.signature == outHeader.signature && inHeader.size >= oemdm::kPrivateBlock &&
                    outHeader.size >= oemdm::kPrivateBlock;
  if (!same) {
    std::memcpy(output, defaults.get(), kSize);
    return 1;
  }
  // Bytes past the input's own size are not its own: the defaults' stand in.
  auto inputByte = [&](std::size_t offset) { return offset < inHeader.size ? input[offset] : defaults[offset]; };
  const BYTE drumColorPattern = inputByte(oemdm::kDrumColorPattern);
  const BYTE infoTaken = inputByte(oemdm::kInfoTaken);

  const std::size_t copied = std::min<std::size_t>({inHeader.size, outHeader.size, kSize});
  std::memmove(output, input, copied);
  PutLe32(output + oemdm::kSizeField, static_cast<DWORD>(kSize));
  PutLe32(output + oemdm::kVersionField, oemdm::kVersion);

  std::span<BYTE, kSize> outPart(output, kSize);
  DocSettings settings = oemdm::ReadSettings(outPart);
  LoadDefaultSettings(printer, oemdm::ReadSettings(std::span<const BYTE, kSize>(defaults.get(), kSize)), settings,
                      drumColorPattern, infoTaken);
  if (GetLe32(output + oemdm::kAppPageFlag) == 1) {
    AppPageRecord record;
    std::memcpy(&record, output + oemdm::kAppPageFlag, sizeof record);
    ApplyAppPageRecord(record, settings, publicOut);
    std::memcpy(output + oemdm::kAppPageFlag, &record, sizeof record);
  }
  oemdm::WriteSettings(outPart, settings);
  return 1;
}

HRESULT hrOEMDevMode(DWORD mode, OEMDMPARAM* param) {
  if (!param || mode < OEMDM_SIZE || mode > OEMDM_MERGE) {
    OutputDebugStringA("COemNevoUI::hrOEMDevMode pOemDMParam=NULL\n");
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  switch (mode) {
    case OEMDM_SIZE:
      OutputDebugStringA("COemNevoUI::hrOEMDevMode OEMDM_SIZE\n");
      param->cbBufSize = static_cast<DWORD>(kSize);
      break;
    case OEMDM_DEFAULT:
      OutputDebugStringA("COemNevoUI::hrOEMDevMode OEMDM_DEFAULT\n");
      // A buffer smaller than the part is not written.
      if (param->cbBufSize >= kSize) OemDefaultDevmode(param->pOEMDMOut, param->hPrinter);
      break;
    case OEMDM_CONVERT:
      OutputDebugStringA("COemNevoUI::hrOEMDevMode OEMDM_CONVERT\n");
      OemConvertDevmode(param->pOEMDMIn, param->pOEMDMOut, param->cbBufSize, param->hPrinter, param->pPublicDMOut);
      break;
    case OEMDM_MERGE:
      OutputDebugStringA("COemNevoUI::hrOEMDevMode OEMDM_MERGE\n");
      OemConvertDevmode(param->pOEMDMIn, param->pOEMDMOut, param->cbBufSize, param->hPrinter, param->pPublicDMOut);
      if (param->cbBufSize >= kSize) OemSetDevmodeHeader(param->pOEMDMOut);
      break;
  }
  return S_OK;
}

void GlobalBlockDeleter::operator()(PrivateDevmode* p) const { GlobalFree(p); }

PrivateDevmodePtr AssemblePluginDevmode(HANDLE printer, const DEVMODEW* publicDm, const void* part) {
  if (!publicDm || !part) return nullptr;
  PrivateDevmodePtr pd(static_cast<PrivateDevmode*>(GlobalAlloc(GPTR, sizeof(PrivateDevmode))));
  if (!pd) return nullptr;
  auto* bytes = reinterpret_cast<BYTE*>(pd.get());
  std::memcpy(bytes, publicDm, std::min<std::size_t>(publicDm->dmSize, kPublicDevmodeSize));
  pd->Public.dmSize = kPublicDevmodeSize;
  pd->Public.dmDriverVersion = kPluginDriverVersion;
  pd->Public.dmDriverExtra = kPrivateDevmodeExtra;
  const auto* source = static_cast<const BYTE*>(part);
  std::unique_ptr<BYTE[]> defaults;
  if (oemdm::ReadHeader(part) != oemdm::kOwnHeader) {
    defaults = NewPart();
    if (!defaults) return nullptr;
    OemDefaultDevmode(defaults.get(), printer);
    source = defaults.get();
  }
  std::memcpy(bytes + kPublicDevmodeSize, source + oemdm::kPrivateBlock, kPrivateDevmodeExtra);
  return pd;
}
