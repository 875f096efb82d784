// Program entry: the application object, the main window, the message loop.
#include "app/Main.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

int main(int argc, char** argv) {
    platform::TApplication app(argc, argv);
    platform::loadFonts();
    // The classic Windows look and the window font for everything the toolkit draws itself,
    // the standard boxes (errors, questions, the input box) included.
    platform::useClassicLook();
    auto* frmMain = new app::TfrmMain();
    frmMain->show();
    app.exec();
    return 0;
}
