#include "Properties.h"

#include <cctype>
#include <cstdint>

#include "RunnerError.h"
#include "Seams.h"

void TPropertyList::SetText(const std::string& text) {
  lines_.clear();
  const size_t end = text.find('\0');
  const size_t n = end == std::string::npos ? text.size() : end;
  size_t start = 0;
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines_.emplace_back(text, start, i - start);
      if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < n) lines_.emplace_back(text, start, n - start);
}

std::string TPropertyList::Text() const {
  std::string out;
  for (const auto& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

bool NameOfLine(const std::string& line, std::string& name) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  name.assign(line, 0, eq);
  return true;
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

TPropertyList ReadPropertyFile(const std::string& path, bool caseSensitive) {
  auto data = seams::Fs().ReadAll(path);
  if (!data) throw TRunnerError("Cannot open file \"" + path + "\"");
  TPropertyList list(caseSensitive);
  list.SetText(*data);
  return list;
}

void WritePropertyFile(const TPropertyList& list, const std::string& path) {
  if (!seams::Fs().WriteAll(path, list.Text()))
    throw TRunnerError("Cannot create file \"" + path + "\"");
}

int FindKey(const TPropertyList& list, const std::string& key) {
  std::string name;
  const auto& lines = list.Lines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!NameOfLine(lines[i], name)) continue;
    if (list.CaseSensitive() ? name == key : SameTextAscii(name, key))
      return static_cast<int>(i);
  }
  return -1;
}

std::string ValueOf(const TPropertyList& list, const std::string& key) {
  const int i = FindKey(list, key);
  if (i < 0) return {};
  const std::string& line = list.Lines()[static_cast<size_t>(i)];
  return line.substr(line.find('=') + 1);
}

bool IsTrueValue(const std::string& text) {
  const std::string u = UpperAscii(text);
  return u == "ON" || u == "TRUE";
}

bool TryParseInteger(const std::string& text, int& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t acc = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    acc = acc * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (acc > 0xFFFFFFFFull) return false;
  }
  if (base == 16) {
    // Hex literals name the 32-bit pattern: $FFFFFFFF is -1.
    uint32_t bits = static_cast<uint32_t>(acc);
    if (negative) bits = 0u - bits;
    value = static_cast<int32_t>(bits);
    return true;
  }
  if (negative) {
    if (acc > 0x80000000ull) return false;
    value = static_cast<int>(-static_cast<long long>(acc));
  } else {
    if (acc > 0x7FFFFFFFull) return false;
    value = static_cast<int>(acc);
  }
  return true;
}

bool TryParseDecimal(const std::string& text, int& value) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  if (i >= text.size()) return false;
  uint64_t acc = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    acc = acc * 10 + static_cast<unsigned>(text[i] - '0');
    if (acc > 0x80000000ull) return false;
  }
  if (!negative && acc > 0x7FFFFFFFull) return false;
  value = negative ? static_cast<int>(-static_cast<long long>(acc)) : static_cast<int>(acc);
  return true;
}

int ParseInteger(const std::string& text) {
  int v = 0;
  if (!TryParseInteger(text, v)) throw TRunnerError("'" + text + "' is not a valid integer value");
  return v;
}
