#pragma once

class QWidget;

// SIGTERM and SIGINT close the window as the close box does (a session ending, `kill`), so the
// choices are saved and a running batch still refuses to be cut off.
void closeWindowOnTermination(QWidget& window);
