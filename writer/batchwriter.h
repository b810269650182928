#pragma once
// The batch writer behind "开始处理(&S)": writes the position of every pending row of the import
// list into a copy of its photo in the "results" sub-folder of the log's folder. Source photos are
// never written. Progress goes to the list rows and the tips label; the window stays responsive
// through IMainView::yield, twice per row.
//
// What the view is asked to do:
//  - showRow(i) selects row i, scrolls it into view and gives the list the keyboard focus;
//    showRow(-1) at the end of a batch clears the selection;
//  - setEnabled for cmdOpenLog, cmdStart, cmdToggle, cboAction and chkMakerNote;
//  - skipMakerNote() is read afresh for every photo;
//  - closeWindow() ends a silent run.

#include "road/mainview.h"

#include <QString>

enum class BatchEnd {
    Finished,   // every row was visited
    Refused,    // not started: the list holds impossible positions
    CoreFailed, // the codec or the results folder could not be made; no photo was opened
    Aborted,    // a failure was raised while the rows were written; the rest were not visited
};

struct BatchResult {
    BatchEnd end = BatchEnd::Finished;
    int rows = 0;    // rows in the list when the batch started
    int written = 0; // copies saved into "results"
};

// Runs the batch on ctx.list; also called directly by the silent run. In silent mode the summary
// message is left to the caller and the window is closed instead.
BatchResult cmdStart_Click(RoadContext& ctx);

// "成功处理 2 个文件，处理结果已保存到 results 子文件夹中！", or "成功处理 0 个文件！".
QString batchSummary(int written);

// The message shown instead of a batch when the list holds impossible positions.
QString invalidDataMessage();
