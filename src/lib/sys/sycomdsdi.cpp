// The system object's raw-access proxies and query server.
#include "COMD.h"

#include "SDIDEVICE.h"
#include "SdiServer.h"

void COMD::AddSdiDevice(SDIDEVICE* proxy) {
    if (!proxy) return;
    std::lock_guard<std::mutex> lock(sdiMutex_);
    sdiDevices_.push_back(proxy);
}

SDIDEVICE* COMD::FindDetachedSdiDevice(const DeviceID& id) {
    std::lock_guard<std::mutex> lock(sdiMutex_);
    for (SDIDEVICE* proxy : sdiDevices_)
        if (!proxy->GetDevice() && proxy->GetDeviceID() == id) return proxy;
    return nullptr;
}

std::vector<SDIDEVICE*> COMD::SdiDevices() {
    std::lock_guard<std::mutex> lock(sdiMutex_);
    return sdiDevices_;
}

void COMD::StopRawAccess() {
    for (SDIDEVICE* proxy : SdiDevices())
        if (SdiVirtual* server = proxy->GetServer()) server->Stop();
    if (sdiQuery_) sdiQuery_->Stop();
}

void COMD::DeleteRawAccess() {
    std::vector<SDIDEVICE*> proxies;
    {
        std::lock_guard<std::mutex> lock(sdiMutex_);
        proxies.swap(sdiDevices_);
    }
    for (SDIDEVICE* proxy : proxies) delete proxy;
    delete sdiQuery_;
    sdiQuery_ = nullptr;
}
