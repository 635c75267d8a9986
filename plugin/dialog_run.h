// The settings dialog as the start selector runs it: the model with the
// plug-in's services (the preview through the host) and a view. Where no
// window can be shown the dialog is driven by a script of events named by
// the environment variable QUILLFIRE_DIALOG_SCRIPT. Without a script and
// without a window system the dialog is passed over as if accepted; where
// there is one, a dialog that cannot be made refuses the run after a
// message, so nothing is rendered with settings the person never confirmed.
#pragma once

namespace qf {

struct ModuleCall;

constexpr char kDialogScriptVariable[] = "QUILLFIRE_DIALOG_SCRIPT";

enum class DialogOutcome {
    NotShown, // no view: the run goes on with the settings it has
    Accepted, // OK
    Cancelled,
    Refused, // the window could not be made: a message said so, the result is 1
};

// Runs the dialog modally on the call's records and run state. The
// settings record holds what the user chose (restored on Cancel); the
// result cell is 0 after OK and -128 after Cancel.
DialogOutcome runSettingsDialog(ModuleCall& call);

} // namespace qf
