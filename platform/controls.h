#pragma once
// The look every window shares: the "Arial" face, the colours of the forms (given as the
// integers the forms were designed with, 0x00BBGGRR), the system's button colours, and captions
// with hints. One place, so a window's form and code say the same thing the same way.

#include "formats/bitmap.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

class QWidget;

// "Arial" requested by name (the system's metric-compatible face stands in), sized in pixels.
QFont ArialFont(int pixelSize = 11, bool bold = false);

// A colour given as 0x00BBGGRR: ColorFromBgr(14737632) is red, green and blue 224.
inline QColor ColorFromBgr(unsigned value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

inline const QColor kNavy(0, 0, 128);

// The system's face and shadow colours of buttons and panels.
QColor ButtonFaceColor();
QColor ButtonShadowColor();

// Fills the widget's background with the colour (also behind its children that do not paint
// their own).
void PaintBackground(QWidget* widget, const QColor& colour);
// The colour of the widget's text.
void SetTextColor(QWidget* widget, const QColor& colour);

// Sets a control's caption and hint. The caption is what assistive tools name the control by:
// buttons, labels and frames carry it as their text; a control without text (an image box)
// takes it as its accessible name. An empty hint clears the tooltip.
void SetCaption(QWidget* control, const QString& caption, const QString& hint = {});

// The program's icon, drawn from its picture at the given size (transparent around it).
QImage ProgramIcon(int size);
// The icon as a window shows it in an image box: its transparent parts show the window's colour.
Bitmap ProgramIconOver(const QColor& background, int size = 32);
