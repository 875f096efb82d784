// The print preview of a paper, from which the user prints it or saves it as a PDF file.
#pragma once

class QWidget;

namespace reports {
struct TPaper;
}

namespace app {

// Shows the paper in the toolkit's print preview dialog ("frmPaperPreview"), modal over parent,
// with Turkish captions and a "PDF Olarak Kaydet" command; returns when the user closes it.
// A paper that cannot be printed or saved is reported in the error box.
void previewPaper(QWidget* parent, const reports::TPaper& paper);

} // namespace app
