// The client's scale model 87: no configure command; registration of the virtual class.
#include "ObjectSupport.h"
#include "SCL87.h"

SCL87V::SCL87V(const DeviceID& id, int handle, const char* name) : SCLV(id, handle, name) {}

SCL87V::~SCL87V() = default;

void SCL87V::UpdateConfigData() {}

VDEV* _CreateSCL87V(const DeviceID& id, int handle) { return new SCL87V(id, handle); }
ObjectSupport objectSCL87V(SCL87V_TYPE_ID, _CreateSCL87V);
