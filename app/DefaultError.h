#pragma once
// The default error box's rules, shared by TfrmMain and the windows' own
// guards: its caption is the application title, set at start-up, and its
// text the failure's message with a full stop.
#include <exception>

#include "text/MarkerText.h"

namespace velbrook {

void SetApplicationTitle(const Text& title);
// kApplicationTitle until set.
Text ApplicationTitle();

// A "." is added when the message is not empty and its last code unit is
// above ".".
Text DefaultErrorText(const Text& message);

// The message of the failure that failure holds (not null), as the default
// error box shows it before its full stop.
Text FailureMessage(const std::exception_ptr& failure);

}  // namespace velbrook
