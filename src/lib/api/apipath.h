// Fixed paths of the client library ("/etc/ovksys.res", "/tmp/.ovkctrl"), prefixed with
// $OVK_ROOT when that is set, as everywhere else in the system.
#pragma once

#include <string>

std::string apiOvkPath(const char* systemPath);
