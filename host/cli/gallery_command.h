// `quillfire gallery`: the web pages the dialog publishes, from the command
// line.
//   gallery FOLDER PAGE.html         the pictures of every presets file of FOLDER
//   gallery --dots INPUT PAGE.html   every filled memory dot rendered over INPUT
// Both print the page's path; --open opens it on the desktop afterwards.
#pragma once

#include <string>
#include <vector>

namespace qf::cli {

// The command's arguments after "gallery"; the exit code (0, 1 failure,
// 2 bad command line, 130 cancelled).
int commandGallery(const std::vector<std::string>& args);

} // namespace qf::cli
