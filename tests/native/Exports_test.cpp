// The DLL's export table must be exactly the natives that javac declared: on i686 with the
// stdcall decoration the JVM looks for ("_Name@bytes"), on x86_64 plain.
#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "NativaTest.h"

namespace nativa_test {
namespace {

// Argument bytes of one stdcall native on i686: every parameter takes 4, jlong and jdouble 8.
int ArgumentBytes(const std::string& params) {
  int bytes = 0;
  std::stringstream list(params);
  std::string p;
  while (std::getline(list, p, ',')) {
    bool wide = p.find("jlong") != std::string::npos || p.find("jdouble") != std::string::npos;
    bytes += wide ? 8 : 4;
  }
  return bytes;
}

std::vector<std::string> ExpectedExports() {
  std::vector<std::string> names;
  std::string dir = WindowsPath(ZQ_JNI_HEADER_DIR);
  WIN32_FIND_DATAA data;
  HANDLE h = ::FindFirstFileA((dir + "\\*.h").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  std::regex decl(R"(JNIEXPORT\s+\w+\s+JNICALL\s+(Java_\w+)\s*\(([^)]*)\))");
  do {
    std::ifstream in(dir + "\\" + data.cFileName);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::sregex_iterator it(text.begin(), text.end(), decl), end; it != end; ++it) {
#ifdef _WIN64
      names.push_back((*it)[1]);
#else
      names.push_back("_" + (*it)[1].str() + "@" + std::to_string(ArgumentBytes((*it)[2])));
#endif
    }
  } while (::FindNextFileA(h, &data));
  ::FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(NativaExports, ExportTableMatchesGeneratedHeaders) {
  std::vector<std::string> expected = ExpectedExports();
  ASSERT_EQ(expected.size(), 36u) << "natives declared by the Java classes";
  std::vector<std::string> actual = ExportNames(NativaDll());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual, expected);
}

TEST(NativaExports, DecorationCountsArgumentBytes) {
  // Spot checks of the byte counts the header parser derives, against hand-counted values.
  EXPECT_EQ(ArgumentBytes("JNIEnv *, jclass, jintArray, jint, jbyteArray, jint, jint, jboolean, jboolean"), 36);
  EXPECT_EQ(ArgumentBytes("JNIEnv *, jclass, jlong, jlong"), 24);
  EXPECT_EQ(ArgumentBytes("JNIEnv *, jobject"), 8);
}

}  // namespace
}  // namespace nativa_test
