#include "ClientCommand.h"

#include "CommandLine.h"

namespace {

constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrDirectory = 0x10;

std::string QuotedIfBlank(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

std::string MemoryOption(uint32_t mb, int configuredMb) {
  if (configuredMb > 0) return " -Xmx" + std::to_string(configuredMb) + "m";
  if (mb <= 32) return " -Xmx32m";
  if (mb <= 64) return " -Xmx48m";
  return {};
}

}  // namespace

uint32_t RoundToMegabytes(uint64_t bytes) {
  constexpr uint64_t kMb = 1024 * 1024;
  uint64_t whole = bytes / kMb;
  const uint64_t rest = bytes % kMb;
  if (rest > kMb / 2 || (rest == kMb / 2 && (whole & 1) != 0)) ++whole;
  return static_cast<uint32_t>(whole);
}

bool IsAdmittedJar(uint32_t attributes) {
  return (attributes & (kAttrHidden | kAttrDirectory)) == 0;
}

std::string JoinClassPath(const std::vector<TDirEntry>& entries) {
  std::string path;
  for (const auto& e : entries) {
    if (!IsAdmittedJar(e.attributes)) continue;
    if (!path.empty()) path += ';';
    path += e.name;
  }
  return path;
}

TClientCommand ComposeClientCommand(const TClientSetup& setup, const TClientRequest& request) {
  const bool quiet = request.extra.find("-nogui") != std::string::npos ||
                     request.extra.find("-dialog") != std::string::npos;
  std::string args;
  if (request.backupNow && !quiet) args += " -backupnow";
  if (request.scheduled && !quiet) args += " -s";
  if (!request.extra.empty()) args += " " + request.extra;
  // The first client run of a ZqRunner started by hand passes ZqRunner's own arguments on.
  if (setup.launchCount == 0 && !HasSwitch(setup.ownArgs, "-min"))
    for (const auto& a : setup.ownArgs) args += " " + a;

  TClientCommand result;
  std::string runtimePart;
  if (setup.launcherExists) {
    result.program = setup.installDir + "\\zqbackup.exe";
    const std::string javaHome =
        setup.privateJavawExists ? setup.installDir + "\\java" : setup.registryJavaHome;
    if (javaHome.empty()) {
      result.program.clear();
      return result;  // no runtime for the client's launcher: nothing to run
    }
    runtimePart = " -z \"" + javaHome + "\" ";
  } else {
    result.program = setup.privateJavawExists ? setup.installDir + "\\java\\bin\\javaw.exe"
                                              : setup.installedJavaw;
  }
  result.runtimeFound = !result.program.empty();
  result.commandLine = QuotedIfBlank(result.program) + runtimePart +
                       MemoryOption(setup.memoryMb, setup.configuredMemoryMb) + " -cp " +
                       setup.classPath + " " + kClientMainClass + " " +
                       std::to_string(setup.memoryMb) + args;
  return result;
}
