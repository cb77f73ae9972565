#include <algorithm>
#include "plat/registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "plat/strings.h"

namespace {

struct Value {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::u16string name;  // as created
  bool isVolatile = false;
  bool deleted = false;
  std::vector<Value> values;  // creation order, which the enumeration keeps
  std::map<std::u16string, std::shared_ptr<Key>> children;  // by folded name
};

struct OpenKey {
  std::shared_ptr<Key> key;
  REGSAM access = 0;
};

struct Registry {
  std::mutex mutex;
  std::shared_ptr<Key> user = std::make_shared<Key>();
  std::shared_ptr<Key> machine = std::make_shared<Key>();
  std::unordered_map<HKEY, OpenKey> handles;
  ULONG_PTR nextHandle = 0x1000;
};

Registry& Reg() {
  static Registry* r = new Registry;  // lives as long as the process; keys may be closed late
  return *r;
}

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = plat::FoldCase(c);
  return out;
}

bool IsRoot(HKEY key) { return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE; }

// The key and access of a handle; nullptr for unknown handles.
// Caller holds the mutex.
std::shared_ptr<Key> Resolve(Registry& r, HKEY key, REGSAM* access) {
  if (key == HKEY_CURRENT_USER) {
    *access = KEY_ALL_ACCESS;
    return r.user;
  }
  if (key == HKEY_LOCAL_MACHINE) {
    *access = KEY_ALL_ACCESS;
    return r.machine;
  }
  auto it = r.handles.find(key);
  if (it == r.handles.end()) return nullptr;
  *access = it->second.access;
  return it->second.key;
}

// Splits a subkey path into its names. A trailing backslash is allowed; a
// leading one or an empty name inside is not.
bool SplitPath(LPCWSTR path, std::vector<std::u16string>& parts) {
  parts.clear();
  std::u16string_view p = plat::view(path);
  if (!p.empty() && p.back() == u'\\') p.remove_suffix(1);
  if (p.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t end = p.find(u'\\', start);
    std::u16string_view part = p.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
    if (part.empty() || part.size() > 255) return false;
    parts.emplace_back(part);
    if (end == std::u16string_view::npos) return true;
    start = end + 1;
  }
}

HKEY NewHandle(Registry& r, std::shared_ptr<Key> key, REGSAM access) {
  HKEY h = reinterpret_cast<HKEY>(r.nextHandle);
  r.nextHandle += 4;
  r.handles[h] = OpenKey{std::move(key), access};
  return h;
}

Value* FindValue(Key& key, LPCWSTR name) {
  std::u16string_view n = plat::view(name);
  for (auto& v : key.values)
    if (plat::EqualsNoCase(v.name, n)) return &v;
  return nullptr;
}

void MarkDeleted(Key& key) {
  key.deleted = true;
  for (auto& [name, child] : key.children) MarkDeleted(*child);
}

void DropVolatile(Key& key) {
  for (auto it = key.children.begin(); it != key.children.end();) {
    if (it->second->isVolatile) {
      MarkDeleted(*it->second);
      it = key.children.erase(it);
    } else {
      DropVolatile(*it->second);
      ++it;
    }
  }
}

// Resolves a handle for an operation needing `need`; the error when it fails.
LSTATUS Access(Registry& r, HKEY key, REGSAM need, std::shared_ptr<Key>& out) {
  REGSAM access = 0;
  out = Resolve(r, key, &access);
  if (!out) return ERROR_INVALID_HANDLE;
  if (out->deleted) return ERROR_KEY_DELETED;
  if ((access & need) != need) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD options, REGSAM desired,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (options & ~REG_OPTION_VOLATILE) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string> parts;
  if (!SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  REGSAM parentAccess = 0;
  auto node = Resolve(r, key, &parentAccess);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  const bool makeVolatile = (options & REG_OPTION_VOLATILE) != 0;
  // Check the whole path before creating anything, so that a refused
  // request leaves no half-made keys behind.
  size_t existing = 0;
  {
    auto walk = node;
    for (const auto& part : parts) {
      auto it = walk->children.find(Folded(part));
      if (it == walk->children.end()) break;
      walk = it->second;
      ++existing;
    }
    if (existing < parts.size()) {
      if (!(parentAccess & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      if (walk->isVolatile && !makeVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
    }
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    auto& slot = node->children[Folded(parts[i])];
    if (!slot) {
      slot = std::make_shared<Key>();
      slot->name = parts[i];
      slot->isVolatile = makeVolatile;
    }
    node = slot;
  }
  if (disposition) *disposition = existing < parts.size() ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(r, node, desired);
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::u16string> parts;
  if (!SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  REGSAM access = 0;
  auto node = Resolve(r, key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  for (const auto& part : parts) {
    auto it = node->children.find(Folded(part));
    if (it == node->children.end()) return ERROR_FILE_NOT_FOUND;
    node = it->second;
  }
  *result = NewHandle(r, node, desired);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (IsRoot(key)) return ERROR_SUCCESS;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  return r.handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (size && !data) return ERROR_INVALID_PARAMETER;
  if (plat::view(valueName).size() > 16383) return ERROR_INVALID_PARAMETER;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<Key> node;
  if (LSTATUS e = Access(r, key, KEY_SET_VALUE, node)) return e;
  std::vector<BYTE> bytes(data, data + size);
  if (Value* v = FindValue(*node, valueName)) {
    v->type = type;
    v->data = std::move(bytes);
  } else {
    node->values.push_back(Value{std::u16string(plat::view(valueName)), type, std::move(bytes)});
  }
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<Key> node;
  if (LSTATUS e = Access(r, key, KEY_QUERY_VALUE, node)) return e;
  const Value* v = FindValue(*node, valueName);
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  const auto need = static_cast<DWORD>(v->data.size());
  if (!size) return ERROR_SUCCESS;
  if (data && *size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (data && need) std::memcpy(data, v->data.data(), need);
  *size = need;
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<Key> node;
  if (LSTATUS e = Access(r, key, KEY_QUERY_VALUE, node)) return e;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& v = node->values[index];
  const auto needData = static_cast<DWORD>(v.data.size());
  const bool nameFits = v.name.size() < *nameChars;
  const bool dataFits = !data || *dataSize >= needData;
  if (!nameFits || !dataFits) {
    if (dataSize) *dataSize = needData;
    return ERROR_MORE_DATA;
  }
  std::memcpy(name, v.name.data(), v.name.size() * sizeof(WCHAR));
  name[v.name.size()] = 0;
  *nameChars = static_cast<DWORD>(v.name.size());
  if (type) *type = v.type;
  if (data && needData) std::memcpy(data, v.data.data(), needData);
  if (dataSize) *dataSize = needData;
  return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD, LPWSTR, LPDWORD, void*) {
  if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<Key> node;
  if (LSTATUS e = Access(r, key, KEY_ENUMERATE_SUB_KEYS, node)) return e;
  DWORD at = 0;
  for (const auto& [folded, child] : node->children) {
    if (child->deleted) continue;
    if (at++ != index) continue;
    const std::u16string& shown = child->name.empty() ? folded : child->name;
    if (shown.size() >= *nameChars) return ERROR_MORE_DATA;
    std::memcpy(name, shown.data(), shown.size() * sizeof(WCHAR));
    name[shown.size()] = 0;
    *nameChars = static_cast<DWORD>(shown.size());
    return ERROR_SUCCESS;
  }
  return ERROR_NO_MORE_ITEMS;
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR, LPDWORD, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyChars, LPDWORD,
                         LPDWORD values, LPDWORD, LPDWORD, LPDWORD, void*) {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<Key> node;
  if (LSTATUS e = Access(r, key, KEY_QUERY_VALUE, node)) return e;
  DWORD count = 0, longest = 0;
  for (const auto& [folded, child] : node->children) {
    if (child->deleted) continue;
    ++count;
    longest = std::max(longest, static_cast<DWORD>((child->name.empty() ? folded : child->name).size()));
  }
  if (subKeys) *subKeys = count;
  if (maxSubKeyChars) *maxSubKeyChars = longest;
  if (values) *values = static_cast<DWORD>(node->values.size());
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<Key> node;
  if (LSTATUS e = Access(r, key, KEY_SET_VALUE, node)) return e;
  std::u16string_view n = plat::view(valueName);
  for (auto it = node->values.begin(); it != node->values.end(); ++it) {
    if (plat::EqualsNoCase(it->name, n)) {
      node->values.erase(it);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  std::vector<std::u16string> parts;
  if (!SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
  if (parts.empty()) return ERROR_INVALID_PARAMETER;  // a root of a hive cannot go
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  REGSAM access = 0;
  auto node = Resolve(r, key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = node->children.find(Folded(parts[i]));
    if (it == node->children.end()) return ERROR_FILE_NOT_FOUND;
    node = it->second;
  }
  auto it = node->children.find(Folded(parts.back()));
  if (it == node->children.end()) return ERROR_FILE_NOT_FOUND;
  if (!it->second->children.empty()) return ERROR_ACCESS_DENIED;
  it->second->deleted = true;
  node->children.erase(it);
  return ERROR_SUCCESS;
}

}  // extern "C"

namespace plat::registry {

void Reset() {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  MarkDeleted(*r.user);
  MarkDeleted(*r.machine);
  r.user = std::make_shared<Key>();
  r.machine = std::make_shared<Key>();
  r.handles.clear();
}

void UnloadUserHive() {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  DropVolatile(*r.user);
}

std::size_t OpenKeyCount() {
  auto& r = Reg();
  std::lock_guard lock(r.mutex);
  return r.handles.size();
}

}  // namespace plat::registry
