// Program entry: the application object, the main window, the message loop.
#include "app/Main.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

int main(int argc, char** argv) {
    platform::TApplication app(argc, argv);
    platform::loadFonts();
    // The standard boxes (errors, questions, the input box) use the window font too.
    QApplication::setFont(platform::tahoma(11));
    auto* frmMain = new app::TfrmMain();
    frmMain->show();
    app.exec();
    return 0;
}
