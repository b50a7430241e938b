#pragma once
// The general error report: what the user reads when an action fails with an error that the
// action's own code does not catch. Every event handler runs inside RunGuarded.

#include "formats/errors.h"

#include <QString>
#include <functional>

// The failure's text with a full stop appended, unless its last character already sorts at or
// before the full stop (".", "!", a closing quote, a space …).
QString ErrorReportText(const QString& failureText);

// Reads a decimal integer typed by the user (blanks around it allowed). Throws PixError
// "'<text>' is not a valid integer value" for anything else, out-of-range numbers included.
int ParseInteger(const QString& text);
// The error of a value outside the range a control or table allows.
PixError RangeCheckError();

// Runs a handler body. PixError and any std::exception end it with the error report in an error
// box titled with the program's title; SilentAbort ends it quietly. Nothing unwinds into the
// event loop. True when the body ran to its end.
bool RunGuarded(const std::function<void()>& body);
