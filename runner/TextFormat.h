// The template formatter behind FormatText. Placeholders: "%" [index ":"] ["-"] [width]
// ["." precision] type, with type "s" (text) or "d" (integer); "%%" gives "%". Without
// an index placeholders take the arguments in order; after an indexed one the count goes
// on from that index. Translations are data: a template that does not fit its arguments
// (wrong type, too few arguments, an unknown type letter, a width beyond kMaxWidth) is
// returned unformatted, never read past.
#pragma once
#include <string>
#include <vector>

struct TFormatArg {
  enum class TKind { Text, Integer } kind;
  std::string text;
  long long integer = 0;

  TFormatArg(const std::string& s) : kind(TKind::Text), text(s) {}  // NOLINT implicit
  TFormatArg(const char* s) : kind(TKind::Text), text(s) {}         // NOLINT implicit
  TFormatArg(int v) : kind(TKind::Integer), integer(v) {}           // NOLINT implicit
  TFormatArg(long long v) : kind(TKind::Integer), integer(v) {}     // NOLINT implicit
};

constexpr int kMaxFormatWidth = 4096;

// Fills `templ` with `args`. Returns false (and leaves `out` untouched) when the template
// does not fit.
bool TryFormatTemplate(const std::string& templ, const std::vector<TFormatArg>& args,
                       std::string& out);
// As TryFormatTemplate, returning the template itself when it does not fit.
std::string FormatTemplate(const std::string& templ, const std::vector<TFormatArg>& args);
