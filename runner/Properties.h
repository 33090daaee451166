// Property lists: a properties file read whole into its lines. A line's name is the text
// before its first "=", its value the rest; nothing is trimmed, no comments, escapes or
// continuation lines. Lookups take the first matching line.
#pragma once
#include <string>
#include <vector>

class TPropertyList {
 public:
  explicit TPropertyList(bool caseSensitive = false) : caseSensitive_(caseSensitive) {}

  // Replaces the lines with those of `text`: lines end at CR, LF or CR LF; a NUL ends the
  // text; a final line without a line end still counts; an empty text gives no lines.
  void SetText(const std::string& text);
  // Every line followed by CR LF.
  std::string Text() const;

  std::vector<std::string>& Lines() { return lines_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  bool CaseSensitive() const { return caseSensitive_; }

 private:
  bool caseSensitive_;
  std::vector<std::string> lines_;
};

// The name of a line (text before the first "="), or false when it has no "=".
bool NameOfLine(const std::string& line, std::string& name);

// Reads a file through the file-system seam. Throws TRunnerError when it is missing or
// cannot be opened (for example while another process writes it); a short retry rides
// out a writer that holds the file for a moment.
TPropertyList ReadPropertyFile(const std::string& path, bool caseSensitive = false);
// Creates the file anew with every line followed by CR LF. Throws TRunnerError.
void WritePropertyFile(const TPropertyList& list, const std::string& path);

// Index of the first line whose name equals `key` (case per the list), or -1.
int FindKey(const TPropertyList& list, const std::string& key);
// Value of the line FindKey finds; empty when there is none.
std::string ValueOf(const TPropertyList& list, const std::string& key);

// True exactly when `text`, upper-cased (a-z only), is "ON" or "TRUE".
bool IsTrueValue(const std::string& text);
// Signed 32-bit integer: decimal, or hex after "$" or "0x"; leading blanks and one sign
// allowed, nothing else. Returns false on any other text (and on overflow).
bool TryParseInteger(const std::string& text, int& value);
// As TryParseInteger, but throws TRunnerError.
int ParseInteger(const std::string& text);
// A signed 32-bit decimal integer and nothing else: an optional "+" or "-", then digits
// only (no blanks, no hex). False on any other text and on overflow.
bool TryParseDecimal(const std::string& text, int& value);

// ASCII-only case helpers used wherever the system compares "without regard to case".
std::string UpperAscii(std::string s);
bool SameTextAscii(const std::string& a, const std::string& b);
