// The application object, the default error path and the modal boxes with the platform captions.
#include "platform/Application.h"
#include "core/RegionalSettings.h"
#include "platform/Fonts.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleFactory>
#include <QWidget>

namespace platform {

namespace {

// How far the Windows ascent of a font stands below the toolkit's: the room the marks over
// capitals need above the toolkit's line.
int ascentGap(const QFont& font) {
    return std::max(0, windowsAscent(font) - QFontMetrics(font).ascent());
}

} // namespace

void useClassicLook() {
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(classic); // the application owns it
    QApplication::setFont(tahoma(11));
}

void placeTextAsWindows(QWidget* box) {
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        const QMargins m = label->contentsMargins();
        label->setContentsMargins(m.left(), m.top() + ascentGap(label->font()), m.right(),
                                  m.bottom());
    }
    for (QLineEdit* line : box->findChildren<QLineEdit*>()) {
        const int gap = ascentGap(line->font());
        const QMargins m = line->textMargins();
        line->setTextMargins(m.left(), m.top() + gap, m.right(), m.bottom());
    }
}

QString applicationTitleFrom(const QString& executableFileName) {
    QString name = QFileInfo(executableFileName).fileName();
    int dot = name.indexOf('.');
    if (dot >= 0)
        name = name.left(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle() {
    QString path = QCoreApplication::applicationFilePath();
    return applicationTitleFrom(path.isEmpty() ? QStringLiteral("korvela") : path);
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > 46)
        return message + '.';
    return message;
}

void showErrorMessage(const QString& message) {
    QString caption = applicationTitle();
    QString text = errorBoxText(message);
    if (dialogHooks().errorBox) {
        dialogHooks().errorBox(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    placeTextAsWindows(&box);
    box.exec();
}

void handleException() {
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    try {
        throw;
    } catch (const EAbort&) {
        // A silent abort shows nothing.
    } catch (const core::Exception& e) {
        showErrorMessage(e.message());
    } catch (const std::exception& e) {
        showErrorMessage(QString::fromUtf8(e.what()));
    } catch (...) {
        showErrorMessage(QStringLiteral("Unknown error"));
    }
}

bool guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        handleException();
        return false;
    }
}

MsgButton messageDlg(const QString& text, MsgType type, int buttons) {
    if (dialogHooks().messageDlg)
        return dialogHooks().messageDlg(text, type, buttons);
    QMessageBox::Icon icon = QMessageBox::Information;
    QString caption = QStringLiteral("Information");
    switch (type) {
    case MsgType::Warning:
        icon = QMessageBox::Warning;
        caption = QStringLiteral("Warning");
        break;
    case MsgType::Error:
        icon = QMessageBox::Critical;
        caption = QStringLiteral("Error");
        break;
    case MsgType::Information:
        break;
    case MsgType::Confirmation:
        icon = QMessageBox::Question;
        caption = QStringLiteral("Confirm");
        break;
    }
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    std::vector<std::pair<QAbstractButton*, MsgButton>> map;
    auto add = [&](MsgButton b, const QString& label, QMessageBox::ButtonRole role) {
        if (buttons & int(b))
            map.emplace_back(box.addButton(label, role), b);
    };
    add(MsgButton::Yes, QStringLiteral("&Yes"), QMessageBox::YesRole);
    add(MsgButton::No, QStringLiteral("&No"), QMessageBox::NoRole);
    add(MsgButton::OK, QStringLiteral("OK"), QMessageBox::AcceptRole);
    add(MsgButton::Cancel, QStringLiteral("Cancel"), QMessageBox::RejectRole);
    if (!map.empty())
        box.setDefaultButton(qobject_cast<QPushButton*>(map.front().first));
    placeTextAsWindows(&box);
    box.exec();
    for (auto& [button, value] : map)
        if (box.clickedButton() == button)
            return value;
    // Closed with Esc or the close box: the negative answer.
    if (buttons & int(MsgButton::Cancel))
        return MsgButton::Cancel;
    return (buttons & int(MsgButton::No)) ? MsgButton::No : MsgButton::OK;
}

bool inputQuery(const QString& caption, const QString& prompt, QString& value) {
    if (dialogHooks().inputQuery)
        return dialogHooks().inputQuery(caption, prompt, value);
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    // Plain captions on the buttons, as the platform's input box has.
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        button->setIcon(QIcon());
    placeTextAsWindows(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

const DialogHooks& dialogHooks() {
    static const DialogHooks none;
    const DialogHooks* installed = ScopedDialogHooks::current();
    return installed ? *installed : none;
}

void beep() {
    if (const std::function<void()>* handler = ScopedBeepHandler::current(); handler && *handler)
        (*handler)();
    else
        QApplication::beep();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::LocaleChange && receiver == this)
        regional_.reload();
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        handleException();
        return false;
    }
}

} // namespace platform
