// Temporary probe.
#include "tests/controls/InspectorTestSupport.h"
using namespace inspector_test;

TEST_F(InspectorFixture, Probe) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    qDebug() << "focus" << focused() << insp->viewport()->size() << insp->captionWidth();
    qDebug() << "active editor" << insp->activeEditor() << insp->currentRow();
    key(Qt::Key_Tab);
    qDebug() << "after tab" << focused() << insp->currentRow() << editorText() << selectedText();
    QImage img = grabViewport();
    img.save("/tmp/probe/focused.png");
    insp->textEditor()->hide();
    QImage img2 = grabViewport();
    img2.save("/tmp/probe/nofocus.png");
    insp->textEditor()->show();
    // compare text pixels in row 1 data cell
    QRect cell = insp->cellRect(1, 1);
    auto firstDark = [&](const QImage& im) {
        for (int y = cell.top(); y < cell.bottom(); ++y)
            for (int x = cell.left()+1; x < cell.right()-1; ++x)
                if (qGray(im.pixel(x, y)) < 100) return QPoint(x, y);
        return QPoint(-1,-1);
    };
    qDebug() << "dark painted" << firstDark(img2) << "dark editor" << firstDark(img);
    insp->textEditor()->selectAll();
    insp->textEditor()->moveCaretToEnd();
    QTextCursor c = insp->textEditor()->textCursor(); c.clearSelection(); c.setPosition(0); insp->textEditor()->setTextCursor(c);
    insp->textEditor()->setCursorWidth(0);
    QImage img3 = grabViewport();
    img3.save("/tmp/probe/editor_nosel.png");
    qDebug() << "dark editor nosel" << firstDark(img3);
}

TEST_F(InspectorFixture, ProbeDate) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    qDebug() << "cw" << insp->captionWidth() << "date text" << insp->dateEditor()->text() << insp->dateEditor()->selectedText();
    QImage img = grabViewport();
    img.save("/tmp/probe/date_focused.png"); img.copy(200,0,134,44).scaled(536,176).save("/tmp/probe/date_zoom.png");
    QRect cell = insp->cellRect(0, 1);
    auto firstDark = [&](const QImage& im) {
        for (int x = cell.left()+1; x < cell.right()-1; ++x)
        for (int y = cell.top(); y < cell.bottom(); ++y)
                if (qGray(im.pixel(x, y)) < 100) return QPoint(x, y);
        return QPoint(-1,-1);
    };
    insp->dateEditor()->deselect();
    QImage img3 = grabViewport();
    qDebug() << "dark date editor" << firstDark(img3);
    insp->dateEditor()->hide();
    QImage img2 = grabViewport();
    qDebug() << "dark painted" << firstDark(img2);
    img3.save("/tmp/probe/date_nosel.png");
}
