// A platform whose every folder lies inside one temporary directory and whose clock stands
// still, so tests never touch the real home folder.
#pragma once

#include "app/Platform.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

// A fresh, empty temporary directory, removed when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

class TestPlatform : public platform::Platform {
 public:
  // home/, home/Desktop, home/Documents, home/Library/Application Support, ... under a new
  // temporary directory; the Desktop, Documents and application data folders exist.
  TestPlatform();

  fs::path root() const { return dir_.path(); }
  fs::path HomeFolder() const override { return dir_.path() / "home"; }
  fs::path ApplicationDataFolder() const override { return HomeFolder() / "AppData"; }
  fs::path DesktopFolder() const override { return HomeFolder() / "Desktop"; }
  fs::path DocumentsFolder() const override { return HomeFolder() / "Documents"; }
  fs::path PreferencesFolder() const override { return HomeFolder() / "Preferences"; }
  fs::path TrashFolderFor(const fs::path&) const override { return HomeFolder() / "Trash" / "files"; }
  std::vector<fs::path> TrashFolders() const override { return {HomeFolder() / "Trash"}; }
  QDateTime Now() const override { return now; }
  int RunProgram(const std::string& program, const std::vector<std::string>& args) override;

  // Wednesday 7 March 2012, 09:05:41, one hour ahead of Greenwich.
  QDateTime now;
  // Every RunProgram call: the program followed by its arguments.
  std::vector<std::vector<std::string>> programs;
  int programExitStatus = 0;

 private:
  TempDir dir_;
};

// Whole-file helpers for fixtures.
void WriteFile(const fs::path& file, std::string_view bytes);
std::string ReadFile(const fs::path& file);
// A digest of every path, content and mode below `folder`, for before/after comparisons.
std::string TreeDigest(const fs::path& folder);

}  // namespace testing_support
