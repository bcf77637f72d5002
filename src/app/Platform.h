// The operating-system services the engine and the windows rely on, behind one interface so
// that tests can point every folder into a temporary directory and fix the clock.
#pragma once

#include <QDateTime>

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

class Platform {
 public:
  virtual ~Platform() = default;

  // Special folders. None of them is created by asking.
  virtual fs::path HomeFolder() const;
  virtual fs::path ApplicationDataFolder() const;  // macOS: ~/Library/Application Support
  virtual fs::path DesktopFolder() const;
  virtual fs::path DocumentsFolder() const;
  virtual fs::path PreferencesFolder() const;      // macOS: ~/Library/Preferences
  // The folder an item of `forItem`'s volume goes to when trashed (freedesktop: .../Trash/files).
  virtual fs::path TrashFolderFor(const fs::path& forItem) const;
  // Every trash folder an item could be in: the user's and, on Linux, the volume trashes.
  virtual std::vector<fs::path> TrashFolders() const;
  // The application bundle's Resources folder (tag dictionaries).
  virtual fs::path ResourcesFolder() const;

  // The current local date and time.
  virtual QDateTime Now() const;

  // Whether the desktop hides the item (a name starting with "." or a hidden flag).
  virtual bool IsHidden(const fs::path& item) const;
  // The name as the desktop shows it; on Linux the file name itself.
  virtual std::string DisplayName(const fs::path& item) const;

  // Starts `program` with `args` (no shell) and waits for it; its exit status, or -1 when it
  // could not be started.
  virtual int RunProgram(const std::string& program, const std::vector<std::string>& args);
};

// The real operating system.
Platform& System();

}  // namespace platform
