#include "tools/GuiValidator.h"

#include "app/GuiPlatform.h"

namespace gui {

mBundleID::ValidatorOutcome RunValidatorCommand(platform::Platform& platform, GuiPlatform& gui,
                                                QWidget* parent,
                                                const std::optional<std::filesystem::path>& file) {
  const mBundleID::ValidatorResult r = mBundleID::ValidatorSAC(platform, file.value_or(std::filesystem::path()));
  if (!r.message.empty()) gui.MessageBox(parent, QString::fromStdString(r.message));
  if (!r.pageToOpen.empty()) gui.OpenUrl(QUrl(QString::fromStdString(r.pageToOpen)));
  return r.outcome;
}

}  // namespace gui
