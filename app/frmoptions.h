#pragma once
// frmOptions, "自定义导出选项": which optional GPS fields a text export carries and whether it
// starts with a header row. It shows the stored settings when it is made and writes them back only
// on "确定"; closing it any other way saves nothing. Make a new one for every opening:
//
//   FrmOptions options(this);
//   options.exec();

#include <QDialog>
#include <QList>

class QCheckBox;
class QPushButton;
class UcListView;

class FrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit FrmOptions(QWidget* parent = nullptr);
    ~FrmOptions() override;

private:
    void Form_Load();
    void lvOptions_ItemCheck(int Item);
    void lvOptions_OnSubItemPrePaint(int Item, int SubItem, quint32& TextBackColor,
                                     quint32& TextForeColor, bool& Process);
    void cmdOK_Click();

    UcListView* lvOptions = nullptr;
    QCheckBox* chkHeader = nullptr;
    QPushButton* cmdOK = nullptr;
};

// What the dialog stored for text exports, read afresh at every export: the ticked optional
// fields ("ExportOptions", EXIF tags in table order) and the header row ("ExportHeader").
struct StoredTextOptions {
    QList<int> columns;
    bool header = false;
};
StoredTextOptions storedTextOptions();
