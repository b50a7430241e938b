#include "image_box.h"

#include <QMouseEvent>
#include <QPainter>

ImageBox::ImageBox(QWidget* parent) : QWidget(parent) {}

void ImageBox::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void ImageBox::clearPicture() {
    setPicture(QImage());
}

void ImageBox::setStretch(bool stretch) {
    stretch_ = stretch;
    update();
}

void ImageBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    // No smoothing: a stretched picture samples whole pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (stretch_)
        painter.drawImage(rect(), picture_);
    else
        painter.drawImage(QPoint(0, 0), picture_);
}

void ImageBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void ImageBox::mouseReleaseEvent(QMouseEvent* event) {
    // A click is a press and a release of the left button over the box.
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click) emit clicked();
}
