#include "WinRegistry.h"

#include "WinUtil.h"

TRegOpenKeyFn& RegOpenKeyCall() {
  static TRegOpenKeyFn call = ::RegOpenKeyExA;
  return call;
}

namespace {

// Deletes `path` below `parent` after its subkeys. RegDeleteKeyA removes only a key
// without subkeys on the NT family (and RegDeleteTree is missing before Vista).
bool DeleteKeyRecursive(HKEY parent, const std::string& path) {
  HKEY raw = nullptr;
  if (RegOpenKeyCall()(parent, path.c_str(), 0, KEY_READ | KEY_WRITE, &raw) != ERROR_SUCCESS)
    return false;
  TRegKey key(raw);
  bool whole = true;
  char name[256];
  // Always take the first remaining subkey: deleting while counting up would skip keys.
  for (DWORD skipped = 0;;) {
    DWORD length = sizeof name;
    const LONG rc = ::RegEnumKeyExA(key.get(), skipped, name, &length, nullptr, nullptr,
                                    nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    if (!DeleteKeyRecursive(key.get(), std::string(name, length))) {
      whole = false;
      ++skipped;  // leave the one that resists and go on with the rest
    }
  }
  key.reset();
  return ::RegDeleteKeyA(parent, path.c_str()) == ERROR_SUCCESS && whole;
}

const char* RootName(TRegRoot root) {
  switch (root) {
    case TRegRoot::ClassesRoot:
      return "HKCR";
    case TRegRoot::CurrentUser:
      return "HKCU";
    case TRegRoot::LocalMachine:
      return "HKLM";
  }
  return "";
}

}  // namespace

HKEY TWinRegistry::Resolve(TRegRoot root, const std::string& key, std::string& path) const {
  if (!base_.empty()) {
    path = base_ + "\\" + RootName(root) + (key.empty() ? "" : "\\" + key);
    return HKEY_CURRENT_USER;
  }
  path = key;
  switch (root) {
    case TRegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case TRegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case TRegRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return HKEY_CURRENT_USER;
}

std::optional<std::vector<std::string>> TWinRegistry::SubKeyNames(TRegRoot root,
                                                                  const std::string& keyName) {
  std::string path;
  const HKEY base = Resolve(root, keyName, path);
  HKEY raw = nullptr;
  if (RegOpenKeyCall()(base, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS)
    return std::nullopt;
  TRegKey key(raw);
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (::RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  return names;
}

TRegRead TWinRegistry::ReadString(TRegRoot root, const std::string& keyName,
                                  const std::string& name, std::string& value) {
  std::string path;
  const HKEY base = Resolve(root, keyName, path);
  HKEY raw = nullptr;
  if (RegOpenKeyCall()(base, path.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return TRegRead::NoKey;
  TRegKey key(raw);
  const char* valueName = name.empty() ? nullptr : name.c_str();
  DWORD type = 0, size = 0;
  LONG rc = ::RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) return TRegRead::NoValue;
  if (rc != ERROR_SUCCESS) return TRegRead::NoKey;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return TRegRead::WrongType;
  // One byte more than asked: a value stored without its terminating NUL still ends.
  std::string data(size + 1, '\0');
  DWORD got = size;
  rc = ::RegQueryValueExA(key.get(), valueName, nullptr, &type,
                          reinterpret_cast<BYTE*>(&data[0]), &got);
  if (rc != ERROR_SUCCESS) return TRegRead::NoKey;
  data.resize(std::min<size_t>(got, size));
  while (!data.empty() && data.back() == '\0') data.pop_back();
  value = data;
  return TRegRead::Ok;
}

bool TWinRegistry::WriteString(TRegRoot root, const std::string& keyName,
                               const std::string& name, const std::string& value) {
  std::string path;
  const HKEY base = Resolve(root, keyName, path);
  HKEY raw = nullptr;
  if (::RegCreateKeyExA(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS)
    return false;
  TRegKey key(raw);
  if (::RegSetValueExA(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    return false;
  // Written through at once rather than at the registry's leisure.
  ::RegFlushKey(key.get());
  return true;
}

bool TWinRegistry::DeleteTree(TRegRoot root, const std::string& keyName) {
  std::string path;
  const HKEY base = Resolve(root, keyName, path);
  return DeleteKeyRecursive(base, path);
}
