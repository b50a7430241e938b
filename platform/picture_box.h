#pragma once
// The image control: shows the Picture it owns, stretched to the box or unscaled from its
// top-left corner (clipped), or a stretched view of another picture that is never made whole.
// What it paints is made once per picture change, mode and box size and kept; painting only
// copies it. A picture that fails to draw is reported once, after the paint, and the box stays
// empty until the picture changes.

#include "formats/picture.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QWidget>

// Drawing a picture with this many pixels or more (read or made) shows the hourglass: below it
// a drawing takes too short a time for the cursor to matter.
inline constexpr qint64 kHourglassPixels = 1'000'000;
// Whether drawing source at a size of target pixels warrants the hourglass.
bool DrawingWantsHourglass(const Picture& source, QSize target);

class PictureBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool stretch READ stretch WRITE setStretch)
public:
    explicit PictureBox(QWidget* parent = nullptr);
    ~PictureBox() override;

    // The box's own picture: any change to it (assign, load, changed()) repaints the box.
    Picture& picture() { return picture_; }
    const Picture& picture() const { return picture_; }

    // True: the picture is drawn stretched to the whole box; false: at its own size from the
    // top-left corner, clipped to the box.
    void setStretch(bool stretch);
    bool stretch() const { return stretch_; }

    // Shows `source` stretched to `size` with its top-left at the box's corner, instead of the
    // box's own picture. Only the part that shows is ever made, so a view far larger than the
    // screen costs what the screen shows. The caller keeps `source` alive while the view is
    // set and calls this again when the source changes.
    void showStretchedView(const Picture* source, QSize size);
    void clearStretchedView();
    bool hasStretchedView() const { return viewSource_ != nullptr; }
    QSize stretchedViewSize() const { return viewSize_; }

    // What the box shows, in box coordinates (for tests and grabs): made now if it is stale.
    QImage shownImage();
    QRect shownRect();
    // How many times the shown image has been made since the box was created.
    int renderCount() const { return renderCount_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Drops what was made; the next paint makes it again.
    void invalidate();
    bool stale() const;
    // The part of the box the current content covers, in box coordinates.
    QRect contentRect() const;
    // Makes the shown image for at least `needed` (clipped to the content).
    void render(const QRect& needed);

    Picture picture_;
    int observerId_ = 0;
    bool stretch_ = false;
    const Picture* viewSource_ = nullptr;
    QSize viewSize_;

    QImage cache_;
    QRect cacheRect_;
    QSize cacheBoxSize_;
    bool cacheValid_ = false;
    bool failed_ = false;  // the current content failed to draw; reported already
    int renderCount_ = 0;
    bool pressed_ = false;
};
