// TInspectorFocusTracker: follows the application's focus for all record inspectors at once.
#pragma once

#include "controls/InspectorKeyHook.h"

#include <QObject>
#include <memory>
#include <vector>

namespace controls {

// A control whose focus the tracker follows.
class TInspectorFocusClient {
public:
    virtual QWidget* trackedWidget() const = 0;
    // Whether the control counts itself focused (the focus is on it or on one of its editors).
    virtual bool hasFocusInside() const = 0;
    virtual void focusEntered(QWidget* now) = 0;
    virtual void focusLeft(QWidget* now) = 0;
    // A key press seen by the key hook: true when the control took it.
    virtual bool hookKeyPress(QObject* watched, QKeyEvent* event) = 0;

protected:
    ~TInspectorFocusClient() = default;
};

// Follows QApplication::focusChanged for all inspectors at once, so that every inspector losing
// the focus reacts before any inspector gaining it (the key hook is freed before it is taken
// again). Shared by the inspectors that exist: each holds it from construction, and it goes with
// the last of them. Owns the key hook.
class TInspectorFocusTracker : public QObject,
                               public std::enable_shared_from_this<TInspectorFocusTracker> {
public:
    // The tracker of the living inspectors, made when there is none.
    static std::shared_ptr<TInspectorFocusTracker> acquire();
    ~TInspectorFocusTracker() override;

    void add(TInspectorFocusClient* client);
    void remove(TInspectorFocusClient* client);
    TInspectorKeyHook& keyHook() { return hook_; }

    // Whether w is control or lies inside it, following popups back to the widget that owns them.
    static bool contains(const QWidget* control, const QWidget* w);

private:
    TInspectorFocusTracker();
    void focusChanged();

    std::vector<TInspectorFocusClient*> clients_;
    TInspectorKeyHook hook_;
};

} // namespace controls
