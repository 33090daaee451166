// The process's one text table and its two lookups. InitTextTable runs in module
// initialisation, before the main body and before any worker thread exists.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "uResource.h"

extern std::unique_ptr<TResourceFile> TextTable;

void InitTextTable(const std::string& fileName, uint16_t langId);
void FreeTextTable();

// Lookups on TextTable; before InitTextTable they give the missing-entry marker.
std::string GetText(const std::string& key);
std::string FormatText(const std::string& key, const std::vector<TFormatArg>& args);
