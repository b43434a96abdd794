#include "GUI/App/QtDispatcher.h"

#include <QMetaObject>

TQtDispatcher::TQtDispatcher(QObject* context) : context_(context) {
    // Direct: the pointer must be cleared before the context is gone, on whichever thread destroys it.
    connect(
        context, &QObject::destroyed, this,
        [this] {
            const std::lock_guard lock(mutex_);
            context_ = nullptr;
        },
        Qt::DirectConnection);
}

void TQtDispatcher::Post(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    if (context_ != nullptr)
        QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}
