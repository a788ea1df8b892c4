// A progress line on standard error while a long walk runs, for a user who
// watches a terminal while the report goes to a file.
#pragma once

#include <string>

namespace vesk {

/// Counts objects from now on when standard error is a terminal, and shows
/// the line only for a walk and only when standard output is not a terminal
/// too, so that logs and pipelines never change.
void startProgress(bool walking);

/// Counts one reported object (status as reportObject returns it) of dir,
/// and redraws the line at most ten times a second.
void noteProgress(int status, const std::string& dir);

/// Counts the directory noted last as failed, once: it could not be
/// listed.
void noteUnlisted(const std::string& dir);

/// Erases the line; when objects could not be read, one summary line on
/// standard error takes its place, after the report.
void endProgress();

}  // namespace vesk
