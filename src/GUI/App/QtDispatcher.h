#pragma once
#include "Core/ThreadPool/Dispatcher.h"

#include <QObject>

#include <mutex>

// Runs posted tasks on the thread of a context object, through that thread's event loop. Tasks still
// queued when the context is destroyed are dropped with it, and so is anything posted afterwards.
class TQtDispatcher final : public QObject, public TDispatcher {
public:
    explicit TQtDispatcher(QObject* context);

    void Post(std::function<void()> task) override;

private:
    std::mutex mutex_;
    QObject* context_; // null once destroyed
};
