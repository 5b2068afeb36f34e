// The touch-screen utility library's fixed paths: prefixed with $OVK_ROOT when that is set.
#pragma once

#include <string>

std::string tutilPath(const std::string& systemPath);

// Writes `content` to `path` through a temporary file beside it that is renamed over it, so
// that a failure part way leaves the old file whole. The file keeps its mode and owner, and a
// symbolic link stays: the file it names is replaced. Where no temporary file can be made
// beside it, or it cannot be given the file's owner, the file is rewritten in place. False
// when any step fails.
bool tutilReplaceFile(const std::string& path, const std::string& content);
