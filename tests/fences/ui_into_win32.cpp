// Through the dialog model's view: its own headers, but not the window's.
#include "ui/dialog_model.h"

// (Must stay second: the first include proves the view is there.)
#include "ui/win32/settings_window.h"
