// Local NVRAM of the Japanese adapters: always on port 1, 1024 bytes of class 8100, once
// the driver has answered both information requests.
#pragma once

#include "SIOAM.h"

inline void JapaneseLocalNvramInfo(SIOAM& adapter, NvramInfoStruct& info) {
    for (uint32_t& v : info.driverValue) v = 0;
    info.size = 0;
    info.deviceClass = -1;
    info.port = 0;
    unsigned short kind = 0, ports = 0;
    if (adapter.GetDCSInfo(kind, ports) != 0) return;
    adapter.SetPortCount(ports);
    unsigned short flag = 0;
    if (adapter.GetNVRAMInfo(info, flag) != 0) return;
    // The adapter kind and the flag do not matter here.
    adapter.SetPortCount(1);
    adapter.SetValidPort(0, PORT_RS485_1);
    info.port = PORT_RS485_1;
    info.size = 1024;
    info.deviceClass = 8100;
}
