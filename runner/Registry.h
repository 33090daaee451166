// The registry as installation maintenance sees it: string values and whole keys under
// three roots. Portable, so the decisions about which keys go can be tested with an
// in-memory registry; TWinRegistry (WinRegistry.h) is the Win32 version.
#pragma once
#include <optional>
#include <string>
#include <vector>

enum class TRegRoot { ClassesRoot, CurrentUser, LocalMachine };

enum class TRegRead { Ok, NoKey, NoValue, WrongType };

class IRegistry {
 public:
  virtual ~IRegistry();
  // Key paths are relative to the root, components separated by "\", no leading "\".
  // Names of the direct subkeys, in the order the registry gives them; nullopt when the
  // key cannot be opened.
  virtual std::optional<std::vector<std::string>> SubKeyNames(TRegRoot root,
                                                              const std::string& key) = 0;
  // A string value ("" = the key's default value). `value` is set only for Ok.
  virtual TRegRead ReadString(TRegRoot root, const std::string& key, const std::string& name,
                              std::string& value) = 0;
  // Opens the key (creating it and its ancestors), writes the value and flushes the key
  // before closing it. False on any failure.
  virtual bool WriteString(TRegRoot root, const std::string& key, const std::string& name,
                           const std::string& value) = 0;
  // Deletes the key with all its subkeys. False when it did not exist or could not be
  // deleted whole.
  virtual bool DeleteTree(TRegRoot root, const std::string& key) = 0;
};
