#include "progress_window.h"

#include <QCoreApplication>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Gauge1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::setProgress(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == progress_) return;
    progress_ = percent;
    update();
}

QString TGauge::text() const {
    return QStringLiteral("%1%").arg(progress_);
}

QPointF TGauge::needleEnd(const QSize& size, int percent) {
    const double angle = percent / 100.0 * std::numbers::pi;
    const double cx = size.width() / 2.0;
    const double bottom = size.height();
    return {cx - std::cos(angle) * (size.width() / 2.0), bottom - std::sin(angle) * size.height()};
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, Qt::white);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor blue(0, 0, 255);
    // The dial: the upper half of an ellipse that stands on the bottom edge.
    const QRectF dial(1, 1, r.width() - 2, 2.0 * (r.height() - 2));
    p.setPen(QPen(blue, 1));
    p.setBrush(Qt::white);
    p.drawPie(dial, 0, 180 * 16);
    // The needle from the middle of the bottom edge.
    const QSize inner(r.width() - 2, r.height() - 2);
    const QPointF end = needleEnd(inner, progress_) + QPointF(1, 1);
    p.drawLine(QPointF(1 + inner.width() / 2.0, 1 + inner.height()), end);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignCenter, text());
    // The frame.
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

TProgressForm::TProgressForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ProgressForm"));
    setWindowTitle(QStringLiteral("Progress"));
    Gauge1 = new TGauge(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Gauge1);
    resize(275, 157);
}

namespace {

std::unique_ptr<TProgressForm> form;

}  // namespace

TProgressForm* ProgressForm() {
    return form.get();
}

void ShowGifProgress(double fraction) {
    if (!form) {
        form = std::make_unique<TProgressForm>(nullptr);
        // Kept until the program ends, and released while the application object still exists
        // (a widget must not outlive it), whether or not the event loop ever quit.
        static const bool releasedAtEnd = [] {
            qAddPostRoutine(DestroyProgressForm);
            return true;
        }();
        (void)releasedAtEnd;
    }
    if (fraction <= 0.9999) {
        if (form->isHidden()) form->show();
        // Whole percent, halves to even.
        form->Gauge1->setProgress(int(std::nearbyint(fraction * 100.0)));
    } else {
        form->hide();
    }
    QCoreApplication::processEvents();
}

void DestroyProgressForm() {
    form.reset();
}
