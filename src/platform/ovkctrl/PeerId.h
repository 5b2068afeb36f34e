// The id under which the core knows a client process: on the Unix socket the peer's process
// id (SO_PEERCRED); for a TCP client, or when the peer's id cannot be had, a made-up id that
// no Linux process id reaches (they stay below 2^22), unique for the life of the daemon.
#pragma once

constexpr int kFirstMadeUpProcessId = 0x40000000;

int ClientProcessId(int sd);
int MadeUpProcessId();
