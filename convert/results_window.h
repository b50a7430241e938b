#pragma once
// The results window Frmresults: every file a save wrote or left alone, one line each. Shown
// beside the other windows (never modal) by a folder run; the writers add to its list whether
// it shows or not.

#include "convert/batch.h"
#include "platform/session.h"
#include "platform/window_kit.h"

#include <QStringList>
#include <memory>

namespace Ui {
class TFrmresults;
}
class QLabel;
class QListWidget;
class QProgressBar;

class TFrmresults : public ModalForm {
    Q_OBJECT
public:
    TFrmresults(Session& session, QWidget* parent = nullptr);
    ~TFrmresults() override;

    QListWidget* ListBox1() const;
    QLabel* Lblcount() const;
    QProgressBar* ProgressBar1() const;

    // The progress of a folder run beside the texts: shown with the number of image files the
    // run lists, moved as each file is done, hidden when the run ends. The Stop button shows
    // with it.
    void StartProgress(int total);
    void SetProgress(int done);
    void EndProgress();

    // A line of text, and the result line of a file a writer wrote or left alone.
    void AddLine(const QString& line);
    void AddResult(WriteOutcome outcome, const QString& path);
    // The line of a file a run skipped; a double click shows the source's folder.
    void AddSkipped(const QString& sourcePath, const QString& reason);
    void ClearLines();
    int LineCount() const;
    QStringList Lines() const;
    // A sink for the batch that appends result lines to this list.
    ResultSink Sink();
    // The list scrolls sideways as far as its widest line plus 400 pixels.
    void WidenResultsList();

    // What the Stop button asks of the run in progress; reset when a run starts.
    const BatchStop& StopRequest() const { return stop_; }

    void BitBtn1Click();  // "Ok"
    void CmdstopClick();  // "Stop"
    // A result line double-clicked: opens what the line names with the desktop.
    void ListBox1DblClick(int row);  // a result line

private:
    void FormCreate();
    void setItemWidths();

    std::unique_ptr<Ui::TFrmresults> ui;
    int extent_ = 0;  // the scroll extent WidenResultsList set; 0 until then
    BatchStop stop_;
    WindowSlot<TFrmresults> slot_;
};

// What double-clicking a result line opens: the file written, or the folder of a file that was
// already there (that file is not this run's, so its place is shown); empty for a refusal.
QString ResultTarget(WriteOutcome outcome, const QString& path);
