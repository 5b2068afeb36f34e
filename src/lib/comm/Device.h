// How the port natives reach devices: the device-operations table (the system calls unless a
// test installed its own).
#pragma once

#include "ovkdevops.h"

const OvkDevOps& commOps();

extern "C" {
// Test seam: installs a device-operations table (null: the system calls again).
__attribute__((visibility("default"))) void ovkCommSetDevOps(const OvkDevOps* ops);
}
