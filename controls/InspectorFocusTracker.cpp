// TInspectorFocusTracker: the shared tracker, its clients, and the order of their focus reactions.
#include "controls/InspectorFocusTracker.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <algorithm>

namespace controls {

std::shared_ptr<TInspectorFocusTracker> TInspectorFocusTracker::acquire() {
    // Only a weak reference stays here: the inspectors own the tracker.
    static std::weak_ptr<TInspectorFocusTracker> living;
    std::shared_ptr<TInspectorFocusTracker> tracker = living.lock();
    if (!tracker) {
        tracker.reset(new TInspectorFocusTracker);
        living = tracker;
    }
    return tracker;
}

TInspectorFocusTracker::TInspectorFocusTracker()
    : hook_([this](QObject* watched, QKeyEvent* event) {
          const std::vector<TInspectorFocusClient*> clients = clients_;
          for (TInspectorFocusClient* client : clients)
              if (client->hookKeyPress(watched, event))
                  return true;
          return false;
      }) {
    connect(qApp, &QApplication::focusChanged, this, [this] { focusChanged(); });
}

TInspectorFocusTracker::~TInspectorFocusTracker() = default;

void TInspectorFocusTracker::add(TInspectorFocusClient* client) {
    clients_.push_back(client);
}

void TInspectorFocusTracker::remove(TInspectorFocusClient* client) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

bool TInspectorFocusTracker::contains(const QWidget* control, const QWidget* w) {
    for (; w; w = w->parentWidget())
        if (w == control)
            return true;
    return false;
}

void TInspectorFocusTracker::focusChanged() {
    // A reaction may move the focus again, or close a dialog with its inspectors: each step looks
    // at where the focus is now, and skips a client whose control is gone.
    const std::shared_ptr<TInspectorFocusTracker> keep = shared_from_this();
    struct Entry {
        QPointer<QWidget> widget;
        TInspectorFocusClient* client;
    };
    std::vector<Entry> all;
    for (TInspectorFocusClient* client : clients_)
        all.push_back({client->trackedWidget(), client});
    for (const Entry& e : all) {
        QWidget* now = QApplication::focusWidget();
        // Focus passing to another window (a message box, the window being deactivated) is not
        // the inspector losing it to another control.
        if (e.widget && e.client->hasFocusInside() && !contains(e.widget, now) && now &&
            now->window() == e.widget->window())
            e.client->focusLeft(now);
    }
    for (const Entry& e : all) {
        QWidget* now = QApplication::focusWidget();
        if (e.widget && !e.client->hasFocusInside() && contains(e.widget, now))
            e.client->focusEntered(now);
    }
}

} // namespace controls
