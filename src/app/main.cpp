// The trimora executable: the desktop application.
#include "app/App.h"
#include "app/GuiPlatform.h"
#include "app/Platform.h"

int main(int argc, char** argv) {
  TrimoraApplication qapp(argc, argv);
  App app(platform::System(), gui::SystemGui());
  qapp.onUnhandledException = [&app](const std::exception* e) {
    return app.Event_UnhandledException(e);
  };
  app.Event_Open();
  return qapp.exec();
}
