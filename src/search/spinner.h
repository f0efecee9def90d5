// The one-character spinner a long scan turns on the console, so that it shows progress.
#ifndef VESK_SPINNER_H
#define VESK_SPINNER_H

#include <stdint.h>

/// Counts one entry met; while the console is measured (ScreenWidth), writes the next of
/// "/-\|" and a backspace straight to the console on the 2049th entry after load and on
/// every 129th after that. The state runs on across every scan of the plug-in's life.
void StepSpinner(void);

/// The spinner's state. Exposed for tests only: the walk is its one user.
struct SpinnerState {
    int32_t Countdown;
    int32_t Index;
};
SpinnerState *SpinnerForTests(void);

#endif
