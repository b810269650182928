// Appending 32767 rows to the list view one at a time, letting the event loop run after each, as
// adding photos and loading a log do, and again selecting and scrolling to each new row, as the
// batches do. Prints the time per 1000 rows at the start and at the end of the run and their
// ratio: a list that does per-row work proportional to its length shows a ratio far above 1.
//
//   bench_listview            (uses the offscreen platform unless QT_QPA_PLATFORM is set)

#include "controls/uclistview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QImage iconStrip() {
    QImage strip(88, 22, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter painter(&strip);
    const QColor colours[] = {Qt::white, Qt::blue, Qt::green, Qt::red};
    for (int i = 0; i < 4; ++i)
        painter.fillRect(i * 22 + 4, 4, 14, 14, colours[i]);
    return strip;
}

struct Run {
    double firstMs = 0;
    double lastMs = 0;
    double totalMs = 0;
};

Run appendRows(bool ensureVisible) {
    UcListView list;
    list.resize(640, 420);
    list.Initialize();
    list.InitializeImageListSmall(22, 22);
    list.ImageListSmall_AddBitmap(iconStrip(), 0xFF00FF);
    list.setBorderStyle(1);
    list.setFullRowSelect(true);
    list.setHideSelection(false);
    list.setViewMode(UcListView::ViewReport);
    list.setOLEDropMode(1);
    list.setRaiseSubItemPrePaint(true);
    list.setUseTheme(true);
    const int widths[] = {130, 130, 130, 80, 100};
    for (int c = 0; c < 5; ++c)
        list.ColumnAdd(c, QStringLiteral("列 %1").arg(c), widths[c]);
    QObject::connect(&list, &UcListView::OnSubItemPrePaint,
                     [&list](int item, int, quint32& back, quint32& fore, bool& process) {
                         if (item % 2 == 0) {
                             back = 0xF8F8F8;
                             process = true;
                         }
                         if (list.ItemGhosted(item)) {
                             fore = 0x999999;
                             process = true;
                         }
                         if (process && item % 2 == 1)
                             back = 0xFFFFFF;
                     });
    list.show();
    QApplication::processEvents();

    constexpr int kRows = UcListView::kMaxItems;
    constexpr int kWindow = 1000;
    // The best of three windows at each end, so that a burst of load elsewhere on the machine
    // does not pass for growth.
    std::vector<double> windows;
    QElapsedTimer total;
    QElapsedTimer window;
    total.start();
    window.start();
    for (int i = 0; i < kRows; ++i) {
        list.ItemAdd(i, QStringLiteral("IMG_%1.JPG").arg(i, 5, 10, QLatin1Char('0')), 0, 0, i);
        list.SubItemSet(i, 1, QStringLiteral("22°33'44.55\"N"), -1);
        list.SubItemSet(i, 2, QStringLiteral("113°22'11.00\"E"), -1);
        list.SubItemSet(i, 3, QStringLiteral("12.50m"), -1);
        list.SubItemSet(i, 4, QStringLiteral("待处理"), -1);
        if (i % 7 == 3)
            list.setItemGhosted(i, true);
        if (ensureVisible) {
            list.setItemSelected(i, true);
            list.ItemEnsureVisible(i);
        }
        QApplication::processEvents();
        if ((i + 1) % kWindow == 0) {
            windows.push_back(static_cast<double>(window.nsecsElapsed()) / 1e6);
            window.restart();
        }
    }
    Run run;
    run.firstMs = *std::min_element(windows.begin(), windows.begin() + 3);
    run.lastMs = *std::min_element(windows.end() - 3, windows.end());
    run.totalMs = static_cast<double>(total.nsecsElapsed()) / 1e6;
    return run;
}

void report(const char* name, const Run& run) {
    std::printf("%-36s first 1000: %8.1f ms   last 1000: %8.1f ms   ratio %.2f   total %.1f s\n",
                name, run.firstMs, run.lastMs, run.lastMs / run.firstMs, run.totalMs / 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    report("append, list left where it is", appendRows(false));
    report("append, select and scroll to each", appendRows(true));
    return 0;
}
