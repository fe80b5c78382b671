#include "shell/ExeDir.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(ExeDir, ProgramFolderWhenWritableElseTheDataFolder) {
  QTemporaryDir program, data;
  ASSERT_TRUE(program.isValid() && data.isValid());
  setenv("XDG_DATA_HOME", data.path().toUtf8().constData(), 1);
  const std::string programFolder = program.path().toStdString();
  EXPECT_EQ(ExeDirFor(programFolder + "/orvex-monitor"), programFolder + "/");

  // A folder the program cannot write to (here: one that is gone) sends its files to the data
  // folder, which is created on first use.
  const std::string expected = data.path().toStdString() + "/OrvexMonitor/";
  EXPECT_EQ(ExeDirFor("/nonexistent-orvex-folder/orvex-monitor"), expected);
  EXPECT_TRUE(fs::is_directory(expected));

  unsetenv("XDG_DATA_HOME");
  setenv("HOME", data.path().toUtf8().constData(), 1);
  EXPECT_EQ(ExeDirFor("/nonexistent-orvex-folder/orvex-monitor"),
            data.path().toStdString() + "/.local/share/OrvexMonitor/");
}

TEST(ExeDir, RunningProgramFindsItsOwnFolder) {
  const std::string dir = FindExeDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(fs::exists(dir + "ExeDirTest"));  // the test program's own folder (the build folder is writable)
}
