// A progress line on standard error while a long walk runs, for a user who
// watches a terminal while the report goes to a file.
#pragma once

#include <string>

namespace vesk {

/// Shows the line from now on only when standard error is a terminal and
/// standard output is not, so that logs and pipelines never change.
void startProgress();

/// Counts one reported object (status as reportObject returns it) of dir,
/// and redraws the line at most ten times a second.
void noteProgress(int status, const std::string& dir);

/// Counts the directory noted last as failed, once: it could not be
/// listed.
void noteUnlisted(const std::string& dir);

/// Counts the directory noted last as failed, once: it could not be
/// listed.
void noteUnlisted(const std::string& dir);

/// Erases the line.
void endProgress();

}  // namespace vesk
