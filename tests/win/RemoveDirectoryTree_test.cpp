#include <gtest/gtest.h>

#include "WinPlatform.h"
#include "WinTestUtil.h"

using wt::Exists;

TEST(RemoveDirectoryTreeTest, RemovesNestedFilesAndFolders) {
  wt::TTempDir root("rdt");
  const std::string d = root.File("tree");
  ::CreateDirectoryA(d.c_str(), nullptr);
  ::CreateDirectoryA((d + "\\sub").c_str(), nullptr);
  ::CreateDirectoryA((d + "\\sub\\deeper").c_str(), nullptr);
  root.Write("tree\\a.txt", "a");
  root.Write("tree\\sub\\b.txt", "b");
  root.Write("tree\\sub\\deeper\\.hidden", "c");
  ::SetFileAttributesA(root.File("tree\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  RemoveDirectoryTree(d + "\\");  // trailing backslash is dropped
  EXPECT_FALSE(Exists(d));
  EXPECT_TRUE(Exists(root.Path()));
}

TEST(RemoveDirectoryTreeTest, MissingFolderIsNoError) {
  wt::TTempDir root("rdt");
  RemoveDirectoryTree(root.File("absent"));
  EXPECT_TRUE(Exists(root.Path()));
}

TEST(RemoveDirectoryTreeTest, ReadOnlyFileSurvivesWithItsFolders) {
  wt::TTempDir root("rdt");
  const std::string d = root.File("tree");
  ::CreateDirectoryA(d.c_str(), nullptr);
  ::CreateDirectoryA((d + "\\keep").c_str(), nullptr);
  root.Write("tree\\gone.txt", "x");
  root.Write("tree\\keep\\ro.txt", "x");
  ::SetFileAttributesA(root.File("tree\\keep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  RemoveDirectoryTree(d);
  EXPECT_TRUE(Exists(root.File("tree\\keep\\ro.txt")));
  EXPECT_FALSE(Exists(root.File("tree\\gone.txt")));
  ::SetFileAttributesA(root.File("tree\\keep\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A link inside the tree must be removed as a link; what it points to stays untouched.
TEST(RemoveDirectoryTreeTest, DoesNotFollowDirectoryLinks) {
  wt::TTempDir root("rdt");
  const std::string target = root.File("precious");
  ::CreateDirectoryA(target.c_str(), nullptr);
  root.Write("precious\\data.txt", "user data");
  const std::string d = root.File("tree");
  ::CreateDirectoryA(d.c_str(), nullptr);
  root.Write("tree\\own.txt", "x");
  const std::string link = d + "\\link";
  if (!wt::CreateDirectoryLink(link, target))
    GTEST_SKIP() << "this system cannot create directory symbolic links (error "
                 << ::GetLastError() << ")";
  ASSERT_NE(::GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  RemoveDirectoryTree(d);
  EXPECT_FALSE(Exists(d));
  EXPECT_TRUE(Exists(root.File("precious\\data.txt")));
}

TEST(RemoveDirectoryTreeTest, LinkAsTheTreeItselfIsOnlyUnlinked) {
  wt::TTempDir root("rdt");
  const std::string target = root.File("precious");
  ::CreateDirectoryA(target.c_str(), nullptr);
  root.Write("precious\\data.txt", "user data");
  const std::string link = root.File("JRE");
  if (!wt::CreateDirectoryLink(link, target))
    GTEST_SKIP() << "this system cannot create directory symbolic links";
  RemoveDirectoryTree(link);
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(root.File("precious\\data.txt")));
}
