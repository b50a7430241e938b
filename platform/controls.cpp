#include "controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

QFont ArialFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QColor ButtonFaceColor() {
    return QApplication::palette().color(QPalette::Button);
}

QColor ButtonShadowColor() {
    return QApplication::palette().color(QPalette::Dark);
}

void PaintBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColor(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

void SetCaption(QWidget* control, const QString& caption, const QString& hint) {
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(caption);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(caption);
    else if (auto* frame = qobject_cast<QGroupBox*>(control))
        frame->setTitle(caption);
    else
        control->setAccessibleName(caption);
    control->setToolTip(hint);
}

QImage ProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/pixolet.svg"));
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

Bitmap ProgramIconOver(const QColor& background, int size) {
    QImage icon(size, size, QImage::Format_RGB32);
    icon.fill(background);
    QPainter(&icon).drawImage(0, 0, ProgramIcon(size));
    return Bitmap::fromQImage(icon);
}
