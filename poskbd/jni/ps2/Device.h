// How the keyboard natives reach devices: the device-operations table (the system calls
// unless a test installed its own) and the node paths, taken under OVK_ROOT when it is set.
#pragma once

#include "ovkdevops.h"

#include <string>

const OvkDevOps& posKbdOps();
std::string posKbdPath(const std::string& systemPath);

extern "C" {
// Test seam: installs a device-operations table (null: the system calls again).
__attribute__((visibility("default"))) void ovkPosKbdSetDevOps(const OvkDevOps* ops);
}
