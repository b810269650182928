#include "app/uiglobals.h"

#include "app/icons.h"

#include <QApplication>
#include <QWidget>

bool SetWindowIcon(QWidget& window) {
    const QIcon icon = icons::applicationIcon();
    window.setWindowIcon(icon);
    return !icon.isNull();
}

bool InitCommonCtrls() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           !QGuiApplication::platformName().isEmpty();
}
