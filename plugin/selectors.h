// The handlers of the six selectors and the helpers they share.
#pragma once

void handleAbout();
void handleParameters();
void handlePrepare();
void handleStart();
void handleContinue();
void handleFinish();

// Frees the render buffers and the preview plane copy; a second call does
// nothing.
void runCleanup();
