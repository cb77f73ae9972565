// Spooler forms: the built-in table (position n is DMPAPER n) and the user
// forms kept with the spooler's state.
#include <array>
#include <optional>

#include "plat/strings.h"
#include "spooler_internal.h"

using namespace plat::spool;

namespace {

struct BuiltinForm {
  const char16_t* name;
  LONG cx;  // micrometres
  LONG cy;
};

// The spooler's built-in forms in DMPAPER order, with their documented sizes.
constexpr std::array<BuiltinForm, 118> kBuiltinForms{{
    {u"Letter", 215900, 279400},
    {u"Letter Small", 215900, 279400},
    {u"Tabloid", 279400, 431800},
    {u"Ledger", 431800, 279400},
    {u"Legal", 215900, 355600},
    {u"Statement", 139700, 215900},
    {u"Executive", 184150, 266700},
    {u"A3", 297000, 420000},
    {u"A4", 210000, 297000},
    {u"A4 Small", 210000, 297000},
    {u"A5", 148000, 210000},
    {u"B4 (JIS)", 257000, 364000},
    {u"B5 (JIS)", 182000, 257000},
    {u"Folio", 215900, 330200},
    {u"Quarto", 215000, 275000},
    {u"10x14", 254000, 355600},
    {u"11x17", 279400, 431800},
    {u"Note", 215900, 279400},
    {u"Envelope #9", 98425, 225425},
    {u"Envelope #10", 104775, 241300},
    {u"Envelope #11", 114300, 263525},
    {u"Envelope #12", 120650, 279400},
    {u"Envelope #14", 127000, 292100},
    {u"C size sheet", 431800, 558800},
    {u"D size sheet", 558800, 863600},
    {u"E size sheet", 863600, 1117600},
    {u"Envelope DL", 110000, 220000},
    {u"Envelope C5", 162000, 229000},
    {u"Envelope C3", 324000, 458000},
    {u"Envelope C4", 229000, 324000},
    {u"Envelope C6", 114000, 162000},
    {u"Envelope C65", 114000, 229000},
    {u"Envelope B4", 250000, 353000},
    {u"Envelope B5", 176000, 250000},
    {u"Envelope B6", 176000, 125000},
    {u"Envelope", 110000, 230000},
    {u"Envelope Monarch", 98425, 190500},
    {u"6 3/4 Envelope", 92075, 165100},
    {u"US Std Fanfold", 377825, 279400},
    {u"German Std Fanfold", 215900, 304800},
    {u"German Legal Fanfold", 215900, 330200},
    {u"B4 (ISO)", 250000, 353000},
    {u"Japanese Postcard", 100000, 148000},
    {u"9x11", 228600, 279400},
    {u"10x11", 254000, 279400},
    {u"15x11", 381000, 279400},
    {u"Envelope Invite", 220000, 220000},
    {u"Reserved48", 1000, 1000},
    {u"Reserved49", 1000, 1000},
    {u"Letter Extra", 241300, 304800},
    {u"Legal Extra", 241300, 381000},
    {u"Tabloid Extra", 296926, 457200},
    {u"A4 Extra", 235458, 322326},
    {u"Letter Transverse", 215900, 279400},
    {u"A4 Transverse", 210000, 297000},
    {u"Letter Extra Transverse", 241300, 304800},
    {u"Super A", 227000, 356000},
    {u"Super B", 305000, 487000},
    {u"Letter Plus", 215900, 322326},
    {u"A4 Plus", 210000, 330000},
    {u"A5 Transverse", 148000, 210000},
    {u"B5 (JIS) Transverse", 182000, 257000},
    {u"A3 Extra", 322000, 445000},
    {u"A5 Extra", 174000, 235000},
    {u"B5 (ISO) Extra", 201000, 276000},
    {u"A2", 420000, 594000},
    {u"A3 Transverse", 297000, 420000},
    {u"A3 Extra Transverse", 322000, 445000},
    {u"Japanese Double Postcard", 200000, 148000},
    {u"A6", 105000, 148000},
    {u"Japanese Envelope Kaku #2", 240000, 332000},
    {u"Japanese Envelope Kaku #3", 216000, 277000},
    {u"Japanese Envelope Chou #3", 120000, 235000},
    {u"Japanese Envelope Chou #4", 90000, 205000},
    {u"Letter Rotated", 279400, 215900},
    {u"A3 Rotated", 420000, 297000},
    {u"A4 Rotated", 297000, 210000},
    {u"A5 Rotated", 210000, 148000},
    {u"B4 (JIS) Rotated", 364000, 257000},
    {u"B5 (JIS) Rotated", 257000, 182000},
    {u"Japanese Postcard Rotated", 148000, 100000},
    {u"Double Japan Postcard Rotated", 148000, 200000},
    {u"A6 Rotated", 148000, 105000},
    {u"Japan Envelope Kaku #2 Rotated", 332000, 240000},
    {u"Japan Envelope Kaku #3 Rotated", 277000, 216000},
    {u"Japan Envelope Chou #3 Rotated", 235000, 120000},
    {u"Japan Envelope Chou #4 Rotated", 205000, 90000},
    {u"B6 (JIS)", 128000, 182000},
    {u"B6 (JIS) Rotated", 182000, 128000},
    {u"12x11", 304800, 279400},
    {u"Japan Envelope You #4", 105000, 235000},
    {u"Japan Envelope You #4 Rotated", 235000, 105000},
    {u"PRC 16K", 146000, 215000},
    {u"PRC 32K", 97000, 151000},
    {u"PRC 32K(Big)", 97000, 151000},
    {u"PRC Envelope #1", 102000, 165000},
    {u"PRC Envelope #2", 102000, 176000},
    {u"PRC Envelope #3", 125000, 176000},
    {u"PRC Envelope #4", 110000, 208000},
    {u"PRC Envelope #5", 110000, 220000},
    {u"PRC Envelope #6", 120000, 230000},
    {u"PRC Envelope #7", 160000, 230000},
    {u"PRC Envelope #8", 120000, 309000},
    {u"PRC Envelope #9", 229000, 324000},
    {u"PRC Envelope #10", 324000, 458000},
    {u"PRC 16K Rotated", 215000, 146000},
    {u"PRC 32K Rotated", 151000, 97000},
    {u"PRC 32K(Big) Rotated", 151000, 97000},
    {u"PRC Envelope #1 Rotated", 165000, 102000},
    {u"PRC Envelope #2 Rotated", 176000, 102000},
    {u"PRC Envelope #3 Rotated", 176000, 125000},
    {u"PRC Envelope #4 Rotated", 208000, 110000},
    {u"PRC Envelope #5 Rotated", 220000, 110000},
    {u"PRC Envelope #6 Rotated", 230000, 120000},
    {u"PRC Envelope #7 Rotated", 230000, 160000},
    {u"PRC Envelope #8 Rotated", 309000, 120000},
    {u"PRC Envelope #9 Rotated", 324000, 229000},
    {u"PRC Envelope #10 Rotated", 458000, 324000},
}};

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

UserForm Builtin(const BuiltinForm& b) {
  return UserForm{b.name, FORM_BUILTIN, SIZEL{b.cx, b.cy}, RECTL{0, 0, b.cx, b.cy}};
}

// Every form in enumeration order.
std::vector<UserForm> AllForms(const Spooler& s) {
  std::vector<UserForm> all;
  all.reserve(kBuiltinForms.size() + s.forms.size());
  for (const auto& b : kBuiltinForms) all.push_back(Builtin(b));
  all.insert(all.end(), s.forms.begin(), s.forms.end());
  return all;
}

std::optional<UserForm> FindBuiltin(std::u16string_view folded) {
  for (const auto& b : kBuiltinForms)
    if (Folded(b.name) == folded) return Builtin(b);
  return std::nullopt;
}

UserForm* FindUser(Spooler& s, std::u16string_view folded) {
  for (auto& f : s.forms)
    if (Folded(f.name) == folded) return &f;
  return nullptr;
}

// A caller's level-1 record: ERROR_SUCCESS or why it is refused.
DWORD CheckRecord(const FORM_INFO_1W& f) {
  if (f.Flags != FORM_USER && f.Flags != FORM_PRINTER) return ERROR_INVALID_PARAMETER;
  if (f.Size.cx <= 0 || f.Size.cy <= 0) return ERROR_INVALID_PARAMETER;
  const RECTL& a = f.ImageableArea;
  if (a.left < 0 || a.top < 0 || a.left >= a.right || a.top >= a.bottom || a.right > f.Size.cx ||
      a.bottom > f.Size.cy)
    return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

void Pack(Packer& k, BYTE* out, size_t i, const UserForm& f) {
  LPWSTR name = k.String(f.name);
  if (!out) return;
  auto& o = reinterpret_cast<FORM_INFO_1W*>(out)[i];
  o.Flags = f.flags;
  o.pName = name;
  o.Size = f.size;
  o.ImageableArea = f.imageable;
}

// The handle must name a printer; changes also need its administer right.
DWORD CheckHandle(Spooler& s, HANDLE printer, bool change) {
  OpenHandle* h = nullptr;
  const DWORD error = Use(s, printer, kRead, h);
  if (error != ERROR_SUCCESS) return error;
  if (change && h->printer->adminDenied) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL EnumFormsW(HANDLE printer, DWORD level, LPBYTE form, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (!needed || !returned || (!form && size)) return Fail(ERROR_INVALID_PARAMETER);
  *returned = 0;
  std::vector<UserForm> all;
  {
    auto& s = Spl();
    SplLock lock(s);
    if (const DWORD error = CheckHandle(s, printer, false)) return Fail(error);
    if (level != 1) return Fail(ERROR_INVALID_LEVEL);
    all = AllForms(s);
  }
  const BOOL ok = PackInto(form, size, needed, sizeof(FORM_INFO_1W) * all.size(), [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < all.size(); ++i) Pack(k, out, i, all[i]);
  });
  if (ok) *returned = static_cast<DWORD>(all.size());
  return ok;
}

BOOL GetFormW(HANDLE printer, LPCWSTR formName, DWORD level, LPBYTE form, DWORD size, LPDWORD needed) {
  if (!needed || (!form && size)) return Fail(ERROR_INVALID_PARAMETER);
  UserForm found;
  {
    auto& s = Spl();
    SplLock lock(s);
    if (const DWORD error = CheckHandle(s, printer, false)) return Fail(error);
    if (level != 1) return Fail(ERROR_INVALID_LEVEL);
    if (!formName) return Fail(ERROR_INVALID_FORM_NAME);
    const std::u16string folded = Folded(plat::view(formName));
    if (auto b = FindBuiltin(folded)) found = *b;
    else if (UserForm* u = FindUser(s, folded)) found = *u;
    else return Fail(ERROR_INVALID_FORM_NAME);
  }
  return PackInto(form, size, needed, sizeof(FORM_INFO_1W), [&](Packer& k, BYTE* out) { Pack(k, out, 0, found); });
}

BOOL AddFormW(HANDLE printer, DWORD level, LPBYTE form) {
  auto& s = Spl();
  SplLock lock(s);
  if (const DWORD error = CheckHandle(s, printer, true)) return Fail(error);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!form) return Fail(ERROR_INVALID_PARAMETER);
  const auto& f = *reinterpret_cast<const FORM_INFO_1W*>(form);
  if (!f.pName || !*f.pName) return Fail(ERROR_INVALID_FORM_NAME);
  if (const DWORD error = CheckRecord(f)) return Fail(error);
  const std::u16string name(plat::view(f.pName));
  const std::u16string folded = Folded(name);
  if (FindBuiltin(folded) || FindUser(s, folded)) return Fail(ERROR_FILE_EXISTS);
  s.forms.push_back(UserForm{name, f.Flags, f.Size, f.ImageableArea});
  lock.Changed();
  return TRUE;
}

BOOL SetFormW(HANDLE printer, LPCWSTR formName, DWORD level, LPBYTE form) {
  auto& s = Spl();
  SplLock lock(s);
  if (const DWORD error = CheckHandle(s, printer, true)) return Fail(error);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!formName || !*formName) return Fail(ERROR_INVALID_FORM_NAME);
  const std::u16string folded = Folded(plat::view(formName));
  if (FindBuiltin(folded)) return Fail(ERROR_INVALID_PARAMETER);
  UserForm* target = FindUser(s, folded);
  if (!target) return Fail(ERROR_INVALID_FORM_NAME);
  if (!form) return Fail(ERROR_INVALID_PARAMETER);
  const auto& f = *reinterpret_cast<const FORM_INFO_1W*>(form);
  if (const DWORD error = CheckRecord(f)) return Fail(error);
  target->flags = f.Flags;
  target->size = f.Size;
  target->imageable = f.ImageableArea;
  lock.Changed();
  return TRUE;
}

BOOL DeleteFormW(HANDLE printer, LPCWSTR formName) {
  auto& s = Spl();
  SplLock lock(s);
  if (const DWORD error = CheckHandle(s, printer, true)) return Fail(error);
  if (!formName || !*formName) return Fail(ERROR_INVALID_FORM_NAME);
  const std::u16string folded = Folded(plat::view(formName));
  if (FindBuiltin(folded)) return Fail(ERROR_INVALID_PARAMETER);
  for (auto it = s.forms.begin(); it != s.forms.end(); ++it) {
    if (Folded(it->name) != folded) continue;
    s.forms.erase(it);
    lock.Changed();
    return TRUE;
  }
  return Fail(ERROR_INVALID_FORM_NAME);
}

}  // extern "C"
