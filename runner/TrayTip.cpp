#include "TrayTip.h"

std::string FitTipText(const std::string& text, size_t fieldBytes, TLeadBytePredicate isLeadByte) {
  if (fieldBytes == 0) return {};
  const size_t limit = fieldBytes - 1;
  size_t end = 0;
  while (end < text.size() && text[end] != '\0') {
    size_t width = 1;
    if (isLeadByte && isLeadByte(static_cast<unsigned char>(text[end]))) {
      // A lead byte without its trail (end of text or a NUL) would be a broken character.
      if (end + 1 >= text.size() || text[end + 1] == '\0') break;
      width = 2;
    }
    if (end + width > limit) break;
    end += width;
  }
  return text.substr(0, end);
}
