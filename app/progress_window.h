#pragma once
// The GIF progress window: a small owner-less window holding a needle gauge that shows how far
// a long GIF decode or conversion has got. ShowGifProgress is what the program's host forwards
// FormatHost::gifProgress to.

#include <QWidget>

// A half-disc dial, blue on white with a one-pixel frame: the needle runs from the middle of the
// bottom edge, turned from the left by progress/100 x 180 degrees; the percentage is written
// over it as "%d%".
class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    int progress() const { return progress_; }
    // Clamped to 0..100; repaints only when the value changes.
    void setProgress(int percent);
    QString text() const;
    // The needle's end, for a gauge of the given size.
    static QPointF needleEnd(const QSize& size, int percent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int progress_ = 0;
};

class TProgressForm : public QWidget {
    Q_OBJECT
public:
    explicit TProgressForm(QWidget* parent = nullptr);
    TGauge* Gauge1;
};

// The window, once ShowGifProgress has made it (nullptr before).
TProgressForm* ProgressForm();
// Makes the window on first use (without an owner); a fraction of at most 0.9999 shows it and
// sets the gauge to the fraction in whole percent, a larger one hides it; then lets pending
// window messages run.
void ShowGifProgress(double fraction);
// Releases the window (the program's end, before the application object goes).
void DestroyProgressForm();
