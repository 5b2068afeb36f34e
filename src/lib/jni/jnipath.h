// The fixed paths of the Java natives ("/dev/console", the keyboard sniffer node): prefixed
// with $OVK_ROOT when that is set, so that a test runs them under a private root.
#pragma once

#include <string>

std::string jniPath(const std::string& systemPath);
