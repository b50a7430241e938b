#include "disabled_widgets.h"

DisabledWidgets::DisabledWidgets(std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets) {
        if (w && w->isEnabled()) {
            w->setEnabled(false);
            disabled_.emplace_back(w);
        }
    }
}

DisabledWidgets::~DisabledWidgets() {
    // A widget may have been destroyed meanwhile; QPointer has forgotten it then.
    for (const QPointer<QWidget>& w : disabled_)
        if (w) w->setEnabled(true);
}
