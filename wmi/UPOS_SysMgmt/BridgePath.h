// Fixed paths of the management bridge ("/var/log/UPOSSysMgmt.log", the properties file),
// prefixed with the environment variable OVK_ROOT when that is set. The bridge is loaded by a
// CIM server, not by the control daemon, so it carries this helper itself.
#pragma once

#include <string>

std::string bridgePath(const std::string& systemPath);
