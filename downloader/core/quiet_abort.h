#pragma once

class QTcpSocket;

// Closes a socket without running our own close and error handlers for it:
// a close we decide on is not a close by the peer.
void quietAbort(QTcpSocket *socket);
