#include "search/spinner.h"

#include "platform/platform.h"
#include "state/plugin_state.h"

namespace {

const wchar_t SPINNER[] = L"/-\\|";

SpinnerState Spinner = {2048, 0};

}  // namespace

void StepSpinner(void)
{
    if (ScreenWidth == 0) return;
    if (--Spinner.Countdown >= 0) return;
    // Never erased: the backspace leaves the cursor on it, and the next output covers it.
    PutConsoleChar(SPINNER[Spinner.Index & 3]);
    PutConsoleChar(L'\b');
    Spinner.Countdown = 128;
    Spinner.Index = (Spinner.Index + 1) % 4;
}

SpinnerState *SpinnerForTests(void) { return &Spinner; }
