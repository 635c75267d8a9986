// The PSD export as the settings dialog's PSD button runs it on Windows:
// the size dialog (CHOOSEPSDWITHSIZE), the system's Save dialog, and the
// small progress window (MONDO_PROGRESS) the export renders in.
//
// This header keeps the system's headers out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qf {

struct SettingsRecord;

// Writes the PSD file at `path`, `width` x `height` pixels; answers 0 or a
// file or host code. Its progress goes to psdExportProgress().
using PsdExportJob = std::function<int(const std::string& path, int32_t width, int32_t height)>;

// Asks for the size (the document's being documentWidth x
// documentHeight) and stores the choice in `settings`, then for the file,
// then runs `job` inside the progress window. Sets the export kind to 6
// once a size was chosen. The dialogs are owned by the thread's active
// window (the settings dialog). Answers the job's code, or
// kFileDialogCancelled when the user cancelled the size or the Save dialog,
// a size dialog was open already (it comes to the front) or the progress
// window closed before the job began, or kProgressAlreadyOpen when a
// progress window was open already.
int runPsdExport(SettingsRecord& settings, int32_t documentWidth, int32_t documentHeight,
                 const PsdExportJob& job);

// The host's progress during the job, in the progress proc's form: the
// open progress window shows it; without one nothing happens.
void psdExportProgress(int32_t done, int32_t total);

} // namespace qf
