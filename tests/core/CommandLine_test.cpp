#include "CommandLine.h"

#include <gtest/gtest.h>

using V = std::vector<std::string>;

TEST(SplitCommandLineTest, QuotesGroupAndBackslashesStay) {
  EXPECT_EQ(SplitCommandLine(""), V{});
  EXPECT_EQ(SplitCommandLine("   \t "), V{});
  EXPECT_EQ(SplitCommandLine("-min"), V{"-min"});
  EXPECT_EQ(SplitCommandLine("  a   b\tc "), (V{"a", "b", "c"}));
  // The maintenance copies are started with a quoted directory that ends in a backslash.
  EXPECT_EQ(SplitCommandLine("-update \"C:\\Program Files\\Stash9\\\""),
            (V{"-update", "C:\\Program Files\\Stash9\\"}));
  EXPECT_EQ(SplitCommandLine("a\"b c\"d e"), (V{"ab cd", "e"}));
  EXPECT_EQ(SplitCommandLine("\"\""), V{""});
  EXPECT_EQ(SplitCommandLine("\"unterminated arg"), V{"unterminated arg"});
}

TEST(SplitCommandLineTest, SkipsProgramName) {
  EXPECT_EQ(SkipProgramName("\"C:\\Program Files\\x\\ZqRunner.exe\" -min"), " -min");
  EXPECT_EQ(SkipProgramName("ZqRunner.exe"), "");
  EXPECT_EQ(SkipProgramName("  Z.exe a b"), " a b");
}

TEST(ClassifyCommandLineTest, FormsInOrderAndCaseSensitive) {
  EXPECT_EQ(ClassifyCommandLine({"-uninstall", "X"}), TCommandForm::UninstallDir);
  EXPECT_EQ(ClassifyCommandLine({"-update", "X"}), TCommandForm::UpdateDir);
  EXPECT_EQ(ClassifyCommandLine({"-uninstall"}), TCommandForm::UninstallHandoff);
  EXPECT_EQ(ClassifyCommandLine({}), TCommandForm::Normal);
  EXPECT_EQ(ClassifyCommandLine({"-UPDATE", "X"}), TCommandForm::Normal);
  EXPECT_EQ(ClassifyCommandLine({"-Uninstall"}), TCommandForm::Normal);
  EXPECT_EQ(ClassifyCommandLine({"-update", "X", "Y"}), TCommandForm::Normal);
  EXPECT_EQ(ClassifyCommandLine({"-update"}), TCommandForm::Normal);
  EXPECT_EQ(ClassifyCommandLine({"X", "-update"}), TCommandForm::Normal);
}

TEST(HasSwitchTest, WholeArgumentIgnoringCase) {
  EXPECT_TRUE(HasSwitch({"-MIN"}, "-min"));
  EXPECT_TRUE(HasSwitch({"a", "-Min"}, "-min"));
  EXPECT_FALSE(HasSwitch({"-minimal"}, "-min"));
  EXPECT_FALSE(HasSwitch({"min"}, "-min"));
  EXPECT_FALSE(HasSwitch({}, "-min"));
}
