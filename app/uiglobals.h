#pragma once
// The window helpers of the global module, in their Qt form.

class QComboBox;
class QWidget;

// Gives the window the program's own icon (Qt picks the size for the title bar and the task
// switcher, so the large and small icons are one icon here). Returns true when it was set.
bool SetWindowIcon(QWidget& window);

// The widgets need a running QApplication with a platform; false when there is none.
bool InitCommonCtrls();

// Qt's own texts (file dialogs, message box buttons, the overwrite question) in Chinese, whatever
// the user's locale: the whole interface is Chinese. Loads "qtbase_zh_CN" from Qt's translations
// folder into the running application; false when it is not installed.
bool LoadQtTranslation();

// The box takes wheel turns only while it has the keyboard focus, so a wheel over the window
// scrolling past it never changes the choice (for the action box, never empties the list).
void ignoreWheelUnlessFocused(QComboBox& box);
