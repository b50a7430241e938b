#pragma once
// An image control: shows its picture stretched to the box (whole-pixel sampling) or unscaled
// at the top-left corner, and reports a left click.

#include <QImage>
#include <QWidget>

class ImageBox : public QWidget {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    void clearPicture();
    void setStretch(bool stretch);
    bool stretch() const { return stretch_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool stretch_ = false;
    bool pressed_ = false;
};
