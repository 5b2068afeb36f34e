// One TCP connection to the management service with the ESC ... BS framing of both directions:
// ESC (0x1B), the document, BS (0x08); bytes before the ESC are ignored, bytes after the BS
// stay for a later read on the same connector.
#pragma once

#include <netinet/in.h>

class SimpleStringBuffer;

class UPOSConnector {
public:
    static constexpr char kStart = 0x1B;
    static constexpr char kEnd = 0x08;

    UPOSConnector();
    ~UPOSConnector() = default;

    int Init_Socket();
    int Init_Socket(int* socket);
    int Connect_Socket(char* address, unsigned short port);
    int Connect_Socket(int socket, char* address, unsigned short port);
    int Disconnect_Socket();
    // Sends ESC, the bytes and BS (all of them) on the client or the own socket.
    int Send(char* buffer, int length, int toClient);
    // Receive2 on the own socket.
    int Receive(SimpleStringBuffer* out);
    // Appends one framed message to `out`: its length, or -1 when the stream ends, fails or
    // stays silent for the time-out before the closing BS.
    int Receive2(SimpleStringBuffer* out);
    int Bind(char* address, unsigned short port);
    int Listen();

    // How long a connect or a read waits for the service (30 s; tests shorten it).
    static void SetTimeout(int milliseconds);
    static int Timeout();

    int m_socket = -1;
    int m_client = -1;
    int m_server = -1;
    int connected = 0;
    char inBuff[1024];
    int readedB = 0;
    int buffOfs = 0;

    static int initd;
    static int wsa_initd;

private:
    static int timeoutMs_;
};

// Waits up to `timeoutMs` for a descriptor to become readable (POLLIN) or writable (POLLOUT):
// true when it did.
bool bridgeWaitFor(int fd, short events, int timeoutMs);
// Connects a socket to an IPv4 address within the time-out: 0, or -1.
int bridgeConnect(int fd, const sockaddr_in& addr, int timeoutMs);
