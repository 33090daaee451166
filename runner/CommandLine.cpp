#include "CommandLine.h"

#include "Properties.h"

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    while (i < n && static_cast<unsigned char>(line[i]) <= ' ') ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || static_cast<unsigned char>(line[i]) > ' ')) {
      if (line[i] == '"')
        quoted = !quoted;
      else
        arg += line[i];
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string SkipProgramName(const std::string& fullLine) {
  size_t i = 0;
  const size_t n = fullLine.size();
  while (i < n && static_cast<unsigned char>(fullLine[i]) <= ' ') ++i;
  bool quoted = false;
  while (i < n && (quoted || static_cast<unsigned char>(fullLine[i]) > ' ')) {
    if (fullLine[i] == '"') quoted = !quoted;
    ++i;
  }
  return fullLine.substr(i);
}

TCommandForm ClassifyCommandLine(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[0] == "-uninstall") return TCommandForm::UninstallDir;
  if (args.size() == 2 && args[0] == "-update") return TCommandForm::UpdateDir;
  if (args.size() == 1 && args[0] == "-uninstall") return TCommandForm::UninstallHandoff;
  return TCommandForm::Normal;
}

bool HasSwitch(const std::vector<std::string>& args, const std::string& text) {
  const std::string wanted = UpperAscii(text);
  for (const auto& a : args)
    if (UpperAscii(a) == wanted) return true;
  return false;
}
