// The Tools command "Validator S.A.C" as the main window and the errors window carry it out:
// the engine decides (mBundleID::ValidatorSAC), this shows its message and opens the download
// page after the message when the validator is missing.
//
//   bool App::... { gui::RunValidatorCommand(platform_, gui_, from, file); return true; }
#pragma once

#include "tools/mBundleID.h"

#include <filesystem>
#include <optional>

class QWidget;
namespace platform { class Platform; }

namespace gui {

class GuiPlatform;

mBundleID::ValidatorOutcome RunValidatorCommand(platform::Platform& platform, GuiPlatform& gui,
                                                QWidget* parent,
                                                const std::optional<std::filesystem::path>& file);

}  // namespace gui
