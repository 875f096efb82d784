// The close box of a program's main window, clicked the way a window manager passes it on.
#pragma once

#include <sys/types.h>

namespace stresstest {

// A connection to the X server DISPLAY names (kept apart from the test's own code: the X headers
// define names such as None and Bool).
class CloseBox {
public:
    CloseBox();
    ~CloseBox();
    CloseBox(const CloseBox&) = delete;
    CloseBox& operator=(const CloseBox&) = delete;
    bool connected() const { return display_ != nullptr; }
    // Whether the process shows its viewable top-level window titled like the program's.
    bool shows(pid_t pid);
    // Sends WM_DELETE_WINDOW to that window, as a window manager does when its close box is
    // clicked; false when the process shows no such window.
    bool click(pid_t pid);

private:
    void* display_ = nullptr;
};

} // namespace stresstest
