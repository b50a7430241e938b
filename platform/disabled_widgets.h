#pragma once
// Disables the controls that could start another operation while one runs, and enables again
// exactly those it disabled, on throw too.

#include <QPointer>
#include <QWidget>
#include <initializer_list>
#include <vector>

class DisabledWidgets {
public:
    explicit DisabledWidgets(std::initializer_list<QWidget*> widgets);
    ~DisabledWidgets();
    DisabledWidgets(const DisabledWidgets&) = delete;
    DisabledWidgets& operator=(const DisabledWidgets&) = delete;

private:
    std::vector<QPointer<QWidget>> disabled_;
};
