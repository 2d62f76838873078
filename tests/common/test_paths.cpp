#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <fstream>

#include "common/paths.h"

using namespace tolv;

namespace {
fs::path tmpRoot(const QTemporaryDir& d) {
  return fs::path(d.path().toStdString());
}
void touch(const fs::path& p) {
  std::ofstream(p) << "x";
}
}  // namespace

TEST(Paths, FoldersFollowTheDataRoot) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  fs::path old = dataRoot();
  setDataRoot(tmpRoot(tmp) / "Data");
  EXPECT_EQ(dataRoot().string(), (tmpRoot(tmp) / "Data").string() + "/");
  EXPECT_EQ(multiFolder().string(), dataRoot().string() + "MULTI_Tolvanex/");
  EXPECT_EQ(intermediateFolder().string(), dataRoot().string() + "MULTI_Tolvanex/Intermediate/");
  EXPECT_EQ(languageFileName().string(), dataRoot().string() + "VX_Language.TXT");
  EXPECT_EQ(initFolders(), 0);
  EXPECT_TRUE(fs::is_directory(intermediateFolder()));
  EXPECT_EQ(programFolder().string().back(), '/');
  setDataRoot(old);
}

TEST(Paths, MakeFoldersTakesTheFolderPartOfAFileName) {
  QTemporaryDir tmp;
  fs::path base = tmpRoot(tmp);
  EXPECT_EQ(makeFolders(base / "a/b/file.csv"), 0);
  EXPECT_TRUE(fs::is_directory(base / "a/b"));
  EXPECT_FALSE(fs::exists(base / "a/b/file.csv"));
  EXPECT_EQ(makeFolders(fs::path((base / "c/d").string() + "/")), 0);
  EXPECT_TRUE(fs::is_directory(base / "c/d"));
  touch(base / "blocker");
  EXPECT_EQ(makeFolders(base / "blocker/sub/x.txt"), 3);
}

TEST(Paths, ForceExtension) {
  fs::path p = "/data/run.1.txt";
  EXPECT_EQ(forceExtension(p, ".CSV"), 0);
  EXPECT_EQ(p.string(), "/data/run.CSV");
  p = "/data/run.CSV";
  EXPECT_EQ(forceExtension(p, ".CSV"), 0);
  EXPECT_EQ(p.string(), "/data/run.CSV");
  p = "run.txt";
  EXPECT_EQ(forceExtension(p, ".CSV"), -192);
  EXPECT_EQ(p.string(), "run.txt");
  p = "/data/";
  EXPECT_EQ(forceExtension(p, ".CSV"), -194);
  p = "/data/.txt";
  EXPECT_EQ(forceExtension(p, ".CSV"), -196);
  EXPECT_EQ(p.string(), "/data/.txt");
}

TEST(Paths, BackupTakesTheFirstFreeName) {
  QTemporaryDir tmp;
  fs::path f = tmpRoot(tmp) / "Scalings.TXT";
  EXPECT_FALSE(backUpFile(f));  // nothing to back up
  touch(f);
  touch(tmpRoot(tmp) / "Scalings_1.TXT");
  EXPECT_EQ(freeBackupName(f).filename().string(), "Scalings_2.TXT");
  EXPECT_TRUE(backUpFile(f));
  EXPECT_FALSE(fs::exists(f));
  EXPECT_TRUE(fs::exists(tmpRoot(tmp) / "Scalings_2.TXT"));
  EXPECT_EQ(freeBackupName(tmpRoot(tmp) / "noext").filename().string(), "noext_1");
  // A name that cannot be looked up may hide a file: no name is handed out (the search ends at
  // once, it does not go on for ever), and nothing is backed up.
  const fs::path longName = tmpRoot(tmp) / (std::string(252, 'x') + ".CSV");
  fs::path out = "unchanged";
  EXPECT_EQ(freeBackupName(longName, out), ENAMETOOLONG);
  EXPECT_EQ(out, "unchanged");
  EXPECT_TRUE(freeBackupName(longName).empty());
  // A folder on the path that loops (as unsearchable for root as EACCES is for a user).
  fs::create_directory_symlink("loop", tmpRoot(tmp) / "loop");
  const fs::path inLoop = tmpRoot(tmp) / "loop" / "Scalings.TXT";
  EXPECT_EQ(freeBackupName(inLoop, out), ELOOP);
  EXPECT_TRUE(freeBackupName(inLoop).empty());
  // A file whose backup name cannot be looked up (254 characters, 256 with "_1") stays.
  const fs::path nearLimit = tmpRoot(tmp) / (std::string(250, 'y') + ".CSV");
  std::ofstream(nearLimit) << "kept";
  ASSERT_TRUE(fs::exists(nearLimit));
  EXPECT_FALSE(backUpFile(nearLimit));
  EXPECT_TRUE(fs::exists(nearLimit));
  // A link, dangling or not, takes its name.
  fs::create_symlink("nowhere", tmpRoot(tmp) / "Scalings_3.TXT");
  ASSERT_EQ(freeBackupName(f, out), 0);
  EXPECT_EQ(out.filename().string(), "Scalings_4.TXT");
}
