#include "app/uiglobals.h"

#include "app/icons.h"

#include <QApplication>
#include <QComboBox>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWheelEvent>
#include <memory>

namespace {

// Turns a wheel over an unfocused box into a wheel over its parent, which does nothing with it.
class WheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel)
            return false;
        const auto* box = static_cast<QWidget*>(watched);
        if (box->hasFocus())
            return false;
        event->ignore();
        return true;
    }
};

} // namespace

bool SetWindowIcon(QWidget& window) {
    const QIcon icon = icons::applicationIcon();
    window.setWindowIcon(icon);
    return !icon.isNull();
}

bool InitCommonCtrls() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
           !QGuiApplication::platformName().isEmpty();
}

bool LoadQtTranslation() {
    auto* app = QCoreApplication::instance();
    auto translator = std::make_unique<QTranslator>();
    if (!app ||
        !translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;
    // The application keeps it, so it lives as long as the texts it translates.
    translator.release()->setParent(app);
    return true;
}

void ignoreWheelUnlessFocused(QComboBox& box) {
    // Wheel turns alone must not give the box the focus either.
    box.setFocusPolicy(Qt::StrongFocus);
    box.installEventFilter(new WheelGuard(&box));
}
