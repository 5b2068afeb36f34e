// The event side of the exchange: a UDP socket on which the management service sends event
// documents in the same ESC ... BS framing. Nothing in the system uses it yet.
#pragma once

#include <netinet/in.h>

class SimpleStringBuffer;

class UPOSEventConnector {
public:
    UPOSEventConnector();
    ~UPOSEventConnector();
    UPOSEventConnector(const UPOSEventConnector&) = delete;
    UPOSEventConnector& operator=(const UPOSEventConnector&) = delete;

    // Binds 0.0.0.0:port (0 when already started, -1 when the bind fails).
    int Start(unsigned short port);
    // Appends one framed message: its length, or -1 on an error or after the time-out.
    int Receive(SimpleStringBuffer* out);
    int Stop();

    sockaddr_in serverAddr{};
    int m_socket = -1;
    char inBuff[1024];
    int readedB = 0;
    int buffOfs = 0;
    static int initd;
};
