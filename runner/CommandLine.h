// The command line of ZqRunner: splitting and the maintenance forms.
#pragma once
#include <string>
#include <vector>

// Splits a raw command line (without the program name) into arguments: blanks and
// control characters separate, a double quote toggles quoting and is dropped, a
// backslash is an ordinary character (so "C:\dir\" stays C:\dir\).
std::vector<std::string> SplitCommandLine(const std::string& line);
// Skips the program name (quoted or not) at the start of GetCommandLineA's text.
std::string SkipProgramName(const std::string& fullLine);

enum class TCommandForm { UninstallDir, UpdateDir, UninstallHandoff, Normal };

// The first matching form, tested in this order (case-sensitive): "-uninstall dir",
// "-update dir", "-uninstall"; anything else is a normal run.
TCommandForm ClassifyCommandLine(const std::vector<std::string>& args);

// True when any argument equals `text`, ignoring case.
bool HasSwitch(const std::vector<std::string>& args, const std::string& text);
