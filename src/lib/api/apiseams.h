// Test seams of the client library: shorter waits and a port for a TCP service name, so that
// tests need neither half a minute nor an entry in the system's service list.
#pragma once

// How long a request waits for its reply (30000 ms unless set).
void apiSetReplyWait(int ms);
// How long the rest of a message may take once its first bytes have come (5000 ms unless set).
void apiSetDataWait(int ms);
// The port that the TCP service `name` stands for; a port below 0 removes the setting, and
// the name is then looked up in the system's service list again.
void apiSetServicePort(const char* name, int port);
