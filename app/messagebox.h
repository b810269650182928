#pragma once

#include "base/messages.h"

class QWidget;

// A modal message box with the program's title and icon conventions.
void showMessageBox(QWidget* parent, const QString& title, const QString& text, MessageIcon icon);
