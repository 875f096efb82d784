// The application object: title, default error path, message boxes, input box and guarded handlers.
#pragma once

#include "core/ScopedOverride.h"

#include "core/Errors.h"
#include "core/RegionalSettings.h"

#include <QApplication>
#include <QString>
#include <functional>

class QWidget;

namespace platform {

// The application title: the executable's file name cut at its first ".", every letter after
// the first in lower case ("KAYIT.EXE" gives "Kayit", "korvela" gives "Korvela").
QString applicationTitle();
QString applicationTitleFrom(const QString& executableFileName);

// The text the error box shows: "." appended when the last character's code is above 46.
QString errorBoxText(const QString& message);

// Default error path for the error being handled (call inside a catch block): cancels any mouse
// capture, shows nothing for EAbort, else a modal error box with the application title.
void handleException();
// Shows one error message through the default error path.
void showErrorMessage(const QString& message);

// Runs an event handler; an error leaving it goes to the default error path.
// Returns false when the handler raised.
bool guarded(const std::function<void()>& handler);

enum class MsgType { Warning, Error, Information, Confirmation };
enum class MsgButton { Yes = 1, No = 2, OK = 4, Cancel = 8 };
// A modal message box with the platform's English captions ("Warning", "Error", "Information",
// "Confirm") and buttons ("&Yes", "&No", "OK", "Cancel"); returns the button pressed.
MsgButton messageDlg(const QString& text, MsgType type, int buttons);

// The modal input box: caption, prompt, an edit pre-filled with value, "OK" and "Cancel".
// Returns true on OK with value replaced by the typed text.
bool inputQuery(const QString& caption, const QString& prompt, QString& value);

// Test seams: while set, the hooks answer instead of showing a modal box. Each hook sees what
// would have been shown. Empty functions use the real boxes.
struct DialogHooks {
    std::function<void(const QString& caption, const QString& text)> errorBox;
    std::function<MsgButton(const QString& text, MsgType type, int buttons)> messageDlg;
    std::function<bool(const QString& caption, const QString& prompt, QString& value)> inputQuery;
};

// The dialog hooks in force, owned by the application object (or by a test) and installed for the
// owner's lifetime (see core::ScopedOverride).
class ScopedDialogHooks : public core::ScopedOverride<DialogHooks, ScopedDialogHooks> {
public:
    explicit ScopedDialogHooks(DialogHooks hooks = {}) : ScopedOverride(std::move(hooks)) {}
    const DialogHooks& hooks() const { return value(); }
};

// The hooks of the owner in force, or none (the real boxes) while there is no owner.
const DialogHooks& dialogHooks();

// The sound of a refused key, owned as the dialog hooks are: tests install one to count beeps.
class ScopedBeepHandler : public core::ScopedOverride<std::function<void()>, ScopedBeepHandler> {
public:
    explicit ScopedBeepHandler(std::function<void()> handler = {})
        : ScopedOverride(std::move(handler)) {}
    const std::function<void()>& handler() const { return value(); }
};

// Sounds a refused key: the handler of the owner in force, or the system's beep when there is
// none or it is empty.
void beep();

// The classic Windows look for every widget the toolkit draws itself (scroll bars, push buttons,
// the standard boxes, the month calendar) and the window font; call once after loadFonts().
void useClassicLook();

// Places the text of a standard box's labels and edit line where Windows puts it: one line is
// as high as the Windows text height, with the marks over capitals ("İ", "Ö") inside it.
void placeTextAsWindows(QWidget* box);

// The program's QApplication: routes errors that escape an event to the default error path, and
// owns the regional settings (the system's, read again when the toolkit reports a locale change),
// the dialog hooks and the beep handler (both empty: the real boxes and the system's beep).
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    core::RegionalSettings& regionalSettings() { return regional_; }
    ScopedDialogHooks& dialogHooks() { return dialogHooks_; }
    ScopedBeepHandler& beepHandler() { return beepHandler_; }

private:
    core::RegionalSettings regional_{core::systemFormatSettings()};
    ScopedDialogHooks dialogHooks_;
    ScopedBeepHandler beepHandler_;
};

} // namespace platform
