// libovktutil.so: the utility classes, taken whole from their static library so that every
// class is exported.
#include "CLogManager.h"
