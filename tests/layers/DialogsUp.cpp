// Must not compile: the dialogs reach the controls below them, never the main window above.
#include "controls/RecordInspector.h"
#include "data/DataSet.h"

#include "app/Main.h"
