// The Win32 registry behind IRegistry (RegOpenKeyExA and friends). Win32 layer only.
#pragma once
#include <windows.h>

#include <string>

#include "Registry.h"

// Every registry key ZqRunner opens goes through this pointer (RegOpenKeyExA by default),
// so that a test can refuse what a standard user may not open: Wine does not enforce
// registry rights. A key that is only read is opened with KEY_READ or less; without
// registry virtualisation (the asInvoker manifest) more than that on HKEY_LOCAL_MACHINE
// is refused to a standard user and to an administrator without elevation.
using TRegOpenKeyFn = LONG(WINAPI*)(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access,
                                    PHKEY result);
TRegOpenKeyFn& RegOpenKeyCall();

class TWinRegistry : public IRegistry {
 public:
  // The real roots: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE.
  TWinRegistry() = default;
  // Every root mapped to HKEY_CURRENT_USER\<base>\<root name> ("HKCR", "HKCU", "HKLM"),
  // so that tests never touch the machine's own entries.
  explicit TWinRegistry(std::string base) : base_(std::move(base)) {}

  std::optional<std::vector<std::string>> SubKeyNames(TRegRoot root,
                                                      const std::string& key) override;
  TRegRead ReadString(TRegRoot root, const std::string& key, const std::string& name,
                      std::string& value) override;
  bool WriteString(TRegRoot root, const std::string& key, const std::string& name,
                   const std::string& value) override;
  bool DeleteTree(TRegRoot root, const std::string& key) override;

 private:
  // The handle of `root` and `key` below it, after the test mapping.
  HKEY Resolve(TRegRoot root, const std::string& key, std::string& path) const;

  std::string base_;
};
