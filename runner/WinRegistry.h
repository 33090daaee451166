// The Win32 registry behind IRegistry (RegOpenKeyExA and friends). Win32 layer only.
#pragma once
#include <windows.h>

#include <string>

#include "Registry.h"

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
