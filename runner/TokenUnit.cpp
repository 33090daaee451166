#include "TokenUnit.h"

int ListCount(const std::string& text) {
  int count = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    if (comma == std::string::npos) return start < text.size() ? count + 1 : count;
    ++count;
    start = comma + 1;
  }
}

std::string ListItem(const std::string& text, int j) {
  if (j < 0) return {};
  size_t start = 0;
  for (int i = 0; i < j; ++i) {
    const size_t comma = text.find(',', start);
    if (comma == std::string::npos) return {};
    start = comma + 1;
  }
  const size_t end = text.find(',', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
