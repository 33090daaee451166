// TResourceFile: the localised text table. Built once from "resource.properties" overlaid
// with the language file of the user's Windows language; read-only afterwards, so worker
// threads may look texts up without a lock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Properties.h"
#include "TextFormat.h"

// ISO 639-1 code for a primary language index 0..121 ("" where the table has none).
// Throws TRunnerError("LangID > number of language codes") above 121.
std::string LanguageCode(unsigned primaryLanguage);
// "dir\resource.properties" + code -> "dir\resource_de.properties"; "" when the language
// index is out of range.
std::string LanguageFileName(const std::string& baseFile, uint16_t langId);

class TResourceFile {
 public:
  // Never fails: a missing base file gives an empty table. `langId` is the user's default
  // language identifier (only its low 8 bits are used).
  TResourceFile(const std::string& fileName, uint16_t langId);

  // The text of `key`, or "!!MISSING RESOURCE ENTRY: " + key.
  std::string GetText(const std::string& key) const;
  // GetText(key) filled with `args` (the template itself when they do not fit).
  std::string FormatText(const std::string& key, const std::vector<TFormatArg>& args) const;

  const std::string& FileName() const { return fileName_; }
  const TPropertyList& List() const { return list_; }

 private:
  TPropertyList list_;
  std::string fileName_;
};

extern const char* const kMissingResource;
