// The record inspector's private state and the functions its source files share.
#pragma once

#include "controls/Canvas.h"
#include "controls/InspectorEditorHost.h"
#include "controls/InspectorFocusTracker.h"
#include "controls/RecordInspector.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <memory>
#include <vector>

namespace controls {

constexpr int kInspectorSizingZone = 3;       // pixels either side of the caption column's edge
constexpr int kInspectorRowSizingZone = 2;    // pixels either side of a row's bottom edge
constexpr int kInspectorHintInterval = 250;   // ms between hint timer ticks
constexpr int kInspectorHintHidePause = 2500; // the application's hint hide pause, ms
constexpr int kInspectorMinCaptionWidth = 10;
constexpr int kInspectorCaptionRightMargin = 20;

// Serves the editors as their host and the focus tracker as its client.
struct TRecordInspector::Private final : TInspectorEditorHost, TInspectorFocusClient {
    // The link through which the inspector follows its record set.
    class Link : public data::TDataLink {
    public:
        explicit Link(Private& inspector) : d(inspector) {}

    protected:
        void activeChanged() override { d.onActiveChanged(); }
        void editingChanged() override {} // the indicator that would show it is not used
        void recordChanged(data::TField* field) override { d.onRecordChanged(field); }
        void dataSetChanged() override { d.onSetChanged(); }
        void dataSetScrolled(int) override { d.onSetChanged(); }
        void layoutChanged() override { d.onSetChanged(); }
        void updateData() override { d.q->writeCurrentRow(); }
        void focusControl(data::TField* field) override { d.onFocusControl(field); }

    private:
        Private& d;
    };

    explicit Private(TRecordInspector* owner)
        : q(owner), link(*this), tracker(TInspectorFocusTracker::acquire()) {}

    TRecordInspector* q;
    Link link;
    std::shared_ptr<TInspectorFocusTracker> tracker;
    std::vector<std::unique_ptr<TInspectorItem>> items;
    bool autoItems = false; // the items stand for the set's fields until items are added
    std::vector<TInspectorItem*> rows;
    int current = 0;
    int top = 0;

    int captionWidth = 100;
    int captionIndent = 12;
    int defaultRowHeight = 0;
    TInspectorOptions options = ovColumnResize | ovRowResize | ovEnterToTab | ovCenterCaptionVert;
    TColor dottedLineColor = platform::clBtnShadow;
    TColor color = platform::clBtnFace;
    TColor captionColor = platform::clBtnFace;
    QFont captionFont;
    bool captionFontSet = false;
    TInspectorPaintOptions paintOptions;
    bool readOnly = false;

    TInspectorEdit* edit = nullptr;
    TInspectorDateEdit* dateEdit = nullptr;
    QWidget* shownEditor = nullptr;
    bool focusInside = false;
    bool editorKeys = false;
    bool selfWriting = false;

    QPointer<TInspectorHintWindow> hint;
    QTimer hintTimer;
    int hintTicks = 0;
    int hintRow = -1;
    int hintColumn = -1;
    QPoint lastMouse;
    bool mouseInside = false;
    bool pointerOverHint = false; // left the viewport for the hint window laid over its cell

    enum class Drag { None, Column, Row } drag = Drag::None;
    int dragRow = -1;
    int wheelRemainder = 0;
    // The lines last drawn in each row's data cell: a repaint with the same text reuses them.
    mutable std::vector<TTextLines> cellLines;

    // Rows and geometry (RecordInspector.cpp).
    void rebuildRows();
    TInspectorItem* currentItem() const {
        return current >= 0 && current < int(rows.size()) ? rows[size_t(current)] : nullptr;
    }
    int clientWidth() const { return q->viewport()->width(); }
    int clientHeight() const { return q->viewport()->height(); }
    int effectiveCaptionWidth() const {
        return std::max(kInspectorMinCaptionWidth,
                        std::min(captionWidth, clientWidth() - kInspectorCaptionRightMargin));
    }
    int textRowHeight() const { return platform::windowsTextHeight(q->font()) + 3; }
    int rowHeight(int row) const;
    int rowTop(int row) const;
    int fullyVisibleRows() const;
    int maxTop() const;
    void scrollIntoView(int row);
    void setTop(int row);
    void updateScrollBar();
    struct Hit {
        int row = -1;
        int column = -1;
    };
    Hit hitTest(const QPoint& pos) const;

    // Painting (RecordInspectorPaint.cpp).
    void paint(TCanvas& canvas);
    void drawRowLine(TCanvas& canvas, int x1, int x2, int y) const; // dotted
    void paintCaptionCell(TCanvas& canvas, int row, const QRect& cell) const;
    void paintDataCell(TCanvas& canvas, int row, const QRect& cell) const;
    void drawEdges(TCanvas& canvas, int bottom) const;
    unsigned dataTextFlags(const TInspectorItem* item) const;

    // Editors, moves and keys (RecordInspectorInput.cpp).
    TInspectorDateEdit* ensureDateEdit();
    void showEditor(bool reload);
    void hideEditors();
    void placeEditor();
    void reloadEditor(bool keepSelection);
    QString editorText() const;
    void moveTo(int row);
    bool moveGuarded(int row);
    void tabKey(bool backward);
    void rowKey(int key, Qt::KeyboardModifiers modifiers);
    bool handleKey(QKeyEvent* event);
    bool mayEdit();
    void leaveControl(bool forward);
    int tabTarget(bool backward) const;

    // The editors' host.
    bool canEditCurrentRow() override { return q->canEditCurrentRow(); }
    bool editorKeyPress(QKeyEvent* event) override { return handleKey(event); }
    void routeKey(int key, Qt::KeyboardModifiers modifiers) override;
    void revertCurrentRow() override { q->revertCurrentRow(); }
    void beep() override { platform::beep(); }

    // Focus (RecordInspectorFocus.cpp).
    QWidget* trackedWidget() const override { return q; }
    bool hasFocusInside() const override { return focusInside; }
    void focusEntered(QWidget* now) override;
    void focusLeft(QWidget* now) override;
    // A key seen by the key hook (RecordInspectorInput.cpp).
    bool hookKeyPress(QObject* watched, QKeyEvent* event) override;

    // Hints (RecordInspectorHints.cpp).
    void updateHint(const QPoint& pos);
    void hideHint();
    bool pointerOnHint() const;
    QString cellText(int row, int column) const;

    // Notification reactions (RecordInspector.cpp).
    void onActiveChanged();
    void onRecordChanged(data::TField* field);
    void onSetChanged();
    void onFocusControl(data::TField* field);
};

} // namespace controls
