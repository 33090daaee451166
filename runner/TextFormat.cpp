#include "TextFormat.h"

#include <cstdio>

namespace {

bool ReadNumber(const std::string& t, size_t& i, int& value) {
  const size_t start = i;
  long long v = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    v = v * 10 + (t[i] - '0');
    if (v > kMaxFormatWidth) return false;
    ++i;
  }
  value = static_cast<int>(v);
  return i > start;
}

std::string Digits(long long v, int precision) {
  const bool negative = v < 0;
  unsigned long long mag = negative ? 0ull - static_cast<unsigned long long>(v)
                                    : static_cast<unsigned long long>(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + mag % 10));
    mag /= 10;
  } while (mag != 0);
  if (precision > static_cast<int>(digits.size()))
    digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
  if (negative) digits.insert(digits.begin(), '-');
  return digits;
}

}  // namespace

bool TryFormatTemplate(const std::string& t, const std::vector<TFormatArg>& args,
                       std::string& out) {
  std::string result;
  size_t next = 0;  // argument taken by a placeholder without index
  size_t i = 0;
  while (i < t.size()) {
    const size_t pct = t.find('%', i);
    if (pct == std::string::npos) {
      result.append(t, i, std::string::npos);
      break;
    }
    result.append(t, i, pct - i);
    i = pct + 1;
    if (i >= t.size()) return false;  // lone "%" at the end
    if (t[i] == '%') {
      result += '%';
      ++i;
      continue;
    }
    // Optional "index:".
    size_t argIndex = next;
    {
      size_t j = i;
      int n = 0;
      if (ReadNumber(t, j, n) && j < t.size() && t[j] == ':') {
        argIndex = static_cast<size_t>(n);
        i = j + 1;
      }
    }
    bool left = false;
    if (i < t.size() && t[i] == '-') {
      left = true;
      ++i;
    }
    int width = 0;
    if (i < t.size() && t[i] >= '0' && t[i] <= '9' && !ReadNumber(t, i, width)) return false;
    int precision = -1;
    if (i < t.size() && t[i] == '.') {
      ++i;
      precision = 0;
      if (i < t.size() && t[i] >= '0' && t[i] <= '9' && !ReadNumber(t, i, precision)) return false;
    }
    if (i >= t.size()) return false;
    const char type = t[i++];
    if (argIndex >= args.size()) return false;
    const TFormatArg& arg = args[argIndex];
    next = argIndex + 1;
    std::string piece;
    if (type == 'd' || type == 'D') {
      if (arg.kind != TFormatArg::TKind::Integer) return false;
      piece = Digits(arg.integer, precision);
    } else if (type == 's' || type == 'S') {
      if (arg.kind != TFormatArg::TKind::Text) return false;
      piece = arg.text;
      if (precision >= 0 && piece.size() > static_cast<size_t>(precision))
        piece.resize(static_cast<size_t>(precision));
    } else {
      return false;
    }
    if (piece.size() < static_cast<size_t>(width)) {
      const size_t pad = static_cast<size_t>(width) - piece.size();
      if (left)
        piece.append(pad, ' ');
      else
        piece.insert(0, pad, ' ');
    }
    result += piece;
  }
  out = std::move(result);
  return true;
}

std::string FormatTemplate(const std::string& templ, const std::vector<TFormatArg>& args) {
  std::string out;
  return TryFormatTemplate(templ, args, out) ? out : templ;
}
