#include "plat/core_options.h"

#include <algorithm>
#include <cstring>

#include "plat/com.h"
#include "plat/strings.h"

namespace plat::core {
namespace {

constexpr std::string_view kOrientations[] = {"PORTRAIT", "LANDSCAPE_CC90"};
constexpr DWORD kLastBuiltinForm = 118;

struct Form {
  DWORD flags;
  std::u16string name;
};

bool ListForms(HANDLE printer, std::vector<Form>& out) {
  DWORD needed = 0, returned = 0;
  if (EnumFormsW(printer, 1, nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  std::vector<BYTE> buffer(needed);
  if (!EnumFormsW(printer, 1, buffer.data(), needed, &needed, &returned)) return false;
  for (DWORD i = 0; i < returned; ++i) {
    FORM_INFO_1W f;
    std::memcpy(&f, buffer.data() + i * sizeof f, sizeof f);
    out.push_back({f.Flags, std::u16string(plat::view(f.pName))});
  }
  return true;
}

void Trace(std::string_view feature, std::string_view option) {
  const std::string line = std::string(kSetOptionsTrace) + std::string(feature) + "=" + std::string(option) + "\n";
  OutputDebugStringA(line.c_str());
}

}  // namespace

HRESULT CoreOptions(HANDLE printer, std::string_view feature, std::vector<std::string>& names) {
  names.clear();
  if (feature == "Orientation") {
    names.assign(std::begin(kOrientations), std::end(kOrientations));
    return S_OK;
  }
  if (feature != "PaperSize") return E_INVALIDARG;
  std::vector<Form> forms;
  if (!ListForms(printer, forms)) return E_FAIL;
  for (const Form& f : forms) names.push_back(plat::utf8(f.name));
  return S_OK;
}

HRESULT SetCoreOption(HANDLE printer, DEVMODEW& devmode, std::string_view feature, std::string_view option) {
  if (feature == "Orientation") {
    const auto it = std::find(std::begin(kOrientations), std::end(kOrientations), option);
    if (it == std::end(kOrientations)) return E_INVALIDARG;
    devmode.dmOrientation = it == std::begin(kOrientations) ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
    devmode.dmFields |= DM_ORIENTATION;
    Trace(feature, option);
    return S_OK;
  }
  if (feature != "PaperSize") return E_INVALIDARG;
  std::vector<Form> forms;
  if (!ListForms(printer, forms)) return E_FAIL;
  for (std::size_t i = 0; i < forms.size(); ++i) {
    if (plat::utf8(forms[i].name) != option) continue;
    const std::u16string& name = forms[i].name;
    std::fill(std::begin(devmode.dmFormName), std::end(devmode.dmFormName), u'\0');
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), CCHFORMNAME - 1), devmode.dmFormName);
    devmode.dmPaperSize = static_cast<SHORT>(i + 1);
    if (i < kLastBuiltinForm) devmode.dmFields = (devmode.dmFields & ~DM_FORMNAME) | DM_PAPERSIZE;
    else devmode.dmFields |= DM_FORMNAME;
    Trace(feature, option);
    return S_OK;
  }
  return E_INVALIDARG;
}

}  // namespace plat::core
