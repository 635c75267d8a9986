// The handlers of the six selectors and the helpers they share.
#pragma once

namespace qf {

struct ModuleCall;

void handleAbout();
void handleParameters(ModuleCall& call);
void handlePrepare(ModuleCall& call);
void handleStart(ModuleCall& call);
void handleContinue(ModuleCall& call);
void handleFinish(ModuleCall& call);

// Frees the render buffers and the preview plane copy; a second call does
// nothing.
void runCleanup(ModuleCall& call);

} // namespace qf
