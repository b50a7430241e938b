#include "picture_box.h"

#include "formats/host.h"
#include "platform/error_report.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <exception>
#include <optional>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    observerId_ = picture_.addObserver([this] {
        // A new picture gets a fresh chance to draw.
        failed_ = false;
        invalidate();
    });
}

PictureBox::~PictureBox() {
    picture_.removeObserver(observerId_);
}

void PictureBox::setStretch(bool stretch) {
    if (stretch == stretch_) return;
    stretch_ = stretch;
    invalidate();
}

void PictureBox::showStretchedView(const Picture* source, QSize size) {
    viewSource_ = source;
    viewSize_ = source ? size.expandedTo(QSize(0, 0)) : QSize();
    failed_ = false;
    invalidate();
}

void PictureBox::clearStretchedView() {
    showStretchedView(nullptr, {});
}

void PictureBox::invalidate() {
    cacheValid_ = false;
    cache_ = QImage();
    cacheRect_ = QRect();
    update();
}

QRect PictureBox::contentRect() const {
    if (viewSource_) {
        if (viewSource_->isEmpty()) return {};
        return QRect(QPoint(0, 0), viewSize_).intersected(rect());
    }
    if (picture_.isEmpty()) return {};
    if (stretch_) return rect();
    return QRect(0, 0, picture_.width(), picture_.height()).intersected(rect());
}

bool DrawingWantsHourglass(const Picture& source, QSize target) {
    const qint64 read = qint64(source.width()) * source.height();
    const qint64 made = qint64(std::max(target.width(), 0)) * std::max(target.height(), 0);
    return read >= kHourglassPixels || made >= kHourglassPixels;
}

void PictureBox::render(const QRect& needed) {
    const QRect content = contentRect();
    // What shows (the whole box when it is not on screen, as for a grab), plus what is asked:
    // a view far larger than the window is never made whole.
    QRect part = visibleRegion().boundingRect();
    // A box-sized stretch is made whole at once: a JPEG is then sampled as it decodes, once,
    // and never kept at full size for a thumbnail that is half covered.
    if (part.isEmpty() || (!viewSource_ && stretch_)) part = rect();
    part = part.united(needed).intersected(content);
    cacheValid_ = true;
    cacheBoxSize_ = size();
    cacheRect_ = QRect();
    cache_ = QImage();
    if (part.isEmpty() || failed_) return;
    ++renderCount_;
    try {
        // Only the part drawn counts: a small part of a large view is quick, and the cursor
        // must not flicker while the slider moves.
        std::optional<HourglassGuard> hourglass;
        if (qint64(part.width()) * part.height() >= kHourglassPixels) hourglass.emplace();
        Bitmap made;
        if (viewSource_)
            made = StretchPicturePart(*viewSource_, viewSize_.width(), viewSize_.height(), part);
        else if (stretch_)
            made = StretchPicturePart(picture_, width(), height(), part);
        else
            made = StretchPicturePart(picture_, picture_.width(), picture_.height(), part);
        // RGB32 is what the painter draws without converting; the conversion is the one copy.
        cache_ = QImage(made.bits(), made.width(), made.height(), made.stride(),
                        QImage::Format_BGR888)
                     .convertToFormat(QImage::Format_RGB32);
        cacheRect_ = QRect(part.topLeft(), cache_.size());
    } catch (...) {
        // Never through paintEvent: the report runs once the paint is over, and the box stays
        // empty until its content changes.
        failed_ = true;
        cache_ = QImage();
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] {
                RunGuarded([&] { std::rethrow_exception(error); });
            },
            Qt::QueuedConnection);
    }
}

bool PictureBox::stale() const {
    // A hidden box is resized without a resize event: its size is part of what was made.
    return !cacheValid_ || cacheBoxSize_ != size();
}

QImage PictureBox::shownImage() {
    if (stale()) render({});
    return cache_;
}

QRect PictureBox::shownRect() {
    if (stale()) render({});
    return cacheRect_;
}

void PictureBox::paintEvent(QPaintEvent* event) {
    const QRect needed = event->rect().intersected(contentRect());
    if (needed.isEmpty()) return;
    if (stale() || (!failed_ && !cacheRect_.contains(needed))) render(needed);
    if (cache_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(cacheRect_.topLeft(), cache_);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (stale()) invalidate();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    // A click is a press and a release of the left button over the box.
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click) emit clicked();
}
