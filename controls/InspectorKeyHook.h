// TInspectorKeyHook: the application event filter that routes row keys out of an inspector's
// editor.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QKeyEvent;
class QWidget;

namespace controls {

// The stand-in for a thread keyboard hook: an application event filter, installed while an
// inspector has the focus, that offers every key press to the router it was made with (which
// passes row keys pressed in a custom editor to its inspector). It also drops the next click on
// one widget when asked. Owned by the focus tracker; one serves all inspectors.
class TInspectorKeyHook : public QObject {
public:
    // Gets a key press and the object it was sent to; true when the key was taken.
    using KeyRouter = std::function<bool(QObject* watched, QKeyEvent* event)>;

    explicit TInspectorKeyHook(KeyRouter router);
    ~TInspectorKeyHook() override;

    void install();
    void remove();
    bool isInstalled() const { return installed_; }
    // Drops the next mouse press (and its release) on target: the control that tried to take the
    // focus while the inspector could not give it up.
    void swallowNextClick(QWidget* target) { swallowTarget_ = target; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyRouter router_;
    bool installed_ = false;
    QPointer<QWidget> swallowTarget_;
};

} // namespace controls
