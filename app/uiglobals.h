#pragma once
// The window helpers of the global module, in their Qt form.

class QWidget;

// Gives the window the program's own icon (Qt picks the size for the title bar and the task
// switcher, so the large and small icons are one icon here). Returns true when it was set.
bool SetWindowIcon(QWidget& window);

// The widgets need a running QApplication with a platform; false when there is none.
bool InitCommonCtrls();
