// Through the dialog model's view: its own headers, but not the renderer's.
#include "ui/dialog_model.h"

// (Must stay second: the first include proves the view is there.)
#include "render/render_driver.h"
