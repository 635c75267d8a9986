// Through the dialog model's view: its own headers, but not the renderer's.
#include "render/render_driver.h"
#include "ui/dialog_model.h"
