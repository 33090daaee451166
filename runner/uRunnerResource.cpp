#include "uRunnerResource.h"

std::unique_ptr<TResourceFile> TextTable;

void InitTextTable(const std::string& fileName, uint16_t langId) {
  TextTable = std::make_unique<TResourceFile>(fileName, langId);
}

void FreeTextTable() { TextTable.reset(); }

std::string GetText(const std::string& key) {
  return TextTable ? TextTable->GetText(key) : kMissingResource + key;
}

std::string FormatText(const std::string& key, const std::vector<TFormatArg>& args) {
  return TextTable ? TextTable->FormatText(key, args) : kMissingResource + key;
}
