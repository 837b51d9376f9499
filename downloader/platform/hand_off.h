#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace platform {

// The local socket a second start hands its addresses through, named from
// the data folder, so one copy per folder listens.
QString handOffName(const QString &folder);

// A second start's side: true once the running copy has the whole message.
bool sendHandOff(const QString &folder, const QByteArray &message, QString *error);

// The same, for a sender that waits for the answer: the message goes with a
// line break after it, and the running copy's answer line comes back within
// answerMs. NotRunning: nobody listened within startingMs, nothing was sent.
enum class Asked { Answered, NotRunning, Failed };
Asked askHandOff(const QString &folder, const QByteArray &message, int startingMs, int answerMs, QByteArray *answer,
                 QString *error);

// The running copy's side. Only the same user may connect (the socket is
// owner-only, and the peer's user is checked); a message is what a client
// writes before it closes, at most maxBytes, within a few seconds.
class HandOffServer : public QObject {
    Q_OBJECT
public:
    explicit HandOffServer(qsizetype maxBytes, QObject *parent = nullptr);
    ~HandOffServer() override;
    // Listens for the folder; a socket a crashed copy left is replaced.
    bool listen(const QString &folder, QString *error);
    // What a message that waits for an answer is answered with.
    using Answerer = std::function<QByteArray(const QByteArray &message)>;
    void setAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }

signals:
    void received(const QByteArray &message);
    void dropped(const QString &why);

private:
    void take(QLocalSocket *socket);
    void answer(QLocalSocket *socket, const QByteArray &message);

    QLocalServer *server_ = nullptr;
    qsizetype maxBytes_ = 0;
    Answerer answerer_;
};

} // namespace platform
