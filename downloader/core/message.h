#pragma once

#include <QMetaType>
#include <QStringList>

// What the core has to tell the user: what happened, with its figures (an
// address, a file, a host, sizes). The window side words it; the core, which
// runs partly on worker threads, never builds a sentence.
struct Message {
    enum class Id {
        None,
        FolderNotCreated,       // file, folder
        TargetIsLink,           // file
        WriteFailed,            // file, the system's reason
        TailMismatch,           // file, url: the bytes on disk are not the server's
        NotPartOf,              // file, url: the server's reply says so
        BadAddress,             // url
        BadReply,               // host
        Redirected,             // url, target
        TooManyRedirects,       // url, target
        MovedToUndownloadable,  // url, target
        RedirectedToBadAddress, // url
        ServerSaid,             // host, the server's line
        BadRequest,             //
        AccessDenied,           //
        BrowserSessionNeeded,   // 401 or 403 to a browser's download whose session a restart did not keep
        ServerError,            // host
        StillPreparing,         // url
        ServerUnavailable,      // host, the status ("503 Service Unavailable")
        ServerBusy,             // host, the status, its code: the server asks to come back later
        ServerRefused,          // url, the status, its code: no other answer will come
        NotTheFile,             // url, the status line
        Encoded,                // url, the encoding
        FileChanged,            // url
        Certificate,            // host, url, the CertificateProblem's number, the TLS library's text
        UnencryptedRedirect,    // url, target
        SizeChanged,            // url, old size, new size ("" when the server no longer says)
        ConnectionLost,         // url
        SocketError,            // the network library's own text
        Said,                   // a sentence made on the window's thread (the list files' reader)
        OtherFileOnConnection,  // url: one connection's reply names another file than the first reply
        FewerConnections,       // host, connections still working: the server refused another one
        AddressExpired,         // file, url, ExpiredCause's number, status text and code, or old and new size;
                                // then "1" when the link needs the browser's session
        RebindProving,          // file, new url: its tail is being compared
        RebindRefused,          // file, new url, BindVerdict's number
        RebindContinued,        // file, new url, the position it goes on from (bytes)
    };
    Id id = Id::None;
    QStringList args;

    bool isEmpty() const { return id == Id::None; }
    bool operator==(const Message &) const = default;
};
Q_DECLARE_METATYPE(Message)

inline Message say(Message::Id id, QStringList args = {})
{
    return Message{id, std::move(args)};
}
