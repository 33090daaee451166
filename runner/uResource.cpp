#include "uResource.h"

#include <algorithm>

#include "RunnerError.h"
#include "Seams.h"

const char* const kMissingResource = "!!MISSING RESOURCE ENTRY: ";

namespace {

// Indexed by the primary language identifier; "" where Windows defines no ISO code.
const char* const kLanguageCodes[122] = {
    "",   "ar", "bg", "ca", "zh", "cs", "da", "de", "el", "en", "es", "fi", "fr", "he", "hu", "is",
    "it", "ja", "ko", "nl", "no", "pl", "pt", "rm", "ro", "ru", "hr", "sk", "sq", "sv", "th", "tr",
    "ur", "id", "uk", "be", "sl", "et", "lv", "lt", "tg", "fa", "vi", "hy", "az", "eu", "",   "mk",
    "",   "ts", "",   "",   "xh", "zu", "af", "ka", "fo", "hi", "mt", "",   "ga", "yi", "ms", "kk",
    "ky", "sw", "tk", "uz", "tt", "bn", "pa", "gu", "or", "ta", "te", "kn", "ml", "as", "mr", "sa",
    "mn", "bo", "cy", "km", "lo", "my", "gl", "",   "",   "sd", "",   "si", "",   "iu", "am", "",
    "ks", "ne", "fy", "ps", "tl", "",   "",   "",   "ha", "",   "yo", "",   "",   "",   "",   "",
    "",   "",   "om", "ti", "gn", "",   "la", "so", "",   ""};

bool IsBlankLine(const std::string& line) {
  return std::all_of(line.begin(), line.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

std::string LanguageCode(unsigned primaryLanguage) {
  if (primaryLanguage >= 122) throw TRunnerError("LangID > number of language codes");
  return kLanguageCodes[primaryLanguage];
}

std::string LanguageFileName(const std::string& baseFile, uint16_t langId) {
  std::string code;
  try {
    code = LanguageCode(langId & 0xFFu);
  } catch (const TRunnerError&) {
    return {};
  }
  // The extension starts at the last "." of the file name (not of a directory).
  const size_t slash = baseFile.find_last_of("\\/:");
  const size_t dot = baseFile.rfind('.');
  const size_t at = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                        ? baseFile.size()
                        : dot;
  return baseFile.substr(0, at) + "_" + code + baseFile.substr(at);
}

TResourceFile::TResourceFile(const std::string& fileName, uint16_t langId)
    : list_(true), fileName_(fileName) {
  IFileSystem& fs = seams::Fs();
  if (fs.Exists(fileName_)) {
    try {
      list_ = ReadPropertyFile(fileName_, true);
    } catch (const TRunnerError&) {
      // An unreadable base file leaves the table empty, as a missing one does.
    }
  }
  const std::string langFile = LanguageFileName(fileName_, langId);
  if (!langFile.empty() && fs.Exists(langFile)) {
    try {
      const TPropertyList overlay = ReadPropertyFile(langFile, true);
      std::string key;
      for (const std::string& line : overlay.Lines()) {
        if (IsBlankLine(line)) continue;
        if (!NameOfLine(line, key)) continue;
        const int at = FindKey(list_, key);
        if (at >= 0) list_.Lines()[static_cast<size_t>(at)] = line;
      }
    } catch (const TRunnerError&) {
      // No overlay: the base texts stand.
    }
  }
  // Byte order is a stable case-sensitive order: of equal keys the first stays first.
  std::stable_sort(list_.Lines().begin(), list_.Lines().end());
}

std::string TResourceFile::GetText(const std::string& key) const {
  const int at = FindKey(list_, key);
  if (at < 0) return kMissingResource + key;
  const std::string& line = list_.Lines()[static_cast<size_t>(at)];
  return line.substr(line.find('=') + 1);
}

std::string TResourceFile::FormatText(const std::string& key,
                                      const std::vector<TFormatArg>& args) const {
  return FormatTemplate(GetText(key), args);
}
