#pragma once
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// One running copy per user. The running copy listens on a local socket whose name holds the user id; a
// later start connects to it, asks it to show its window, and ends.
class TSingleInstance final : public QObject {
public:
    explicit TSingleInstance(QString serverName = DefaultServerName(), QObject* parent = nullptr);

    // The socket of this user's copy: in the user's runtime folder when there is one, else the system's
    // temporary folder.
    static QString DefaultServerName();

    // True when a running copy was found; it has then been asked to show its main window and has answered
    // (or did not answer in time, but it runs). Blocks, so it needs no event loop.
    bool FindRunningInstance() const;
    // Takes the name for this copy, replacing a socket file that no copy answers on any more. Each later
    // start runs showApp on this object's thread, before that start is told it was handled.
    bool Listen(std::function<void()> showApp);

private:
    void AnswerNextStart();

    QString name_;
    QLocalServer* server_ = nullptr;
    std::function<void()> showApp_;
};
