#include "GUI/App/BoundActions.h"

#include "GUI/App/UserDialogs.h"

#include <QAction>
#include <QWidget>

#include <exception>

void RunGuarded(QWidget* owner, const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        TUserDialogs::ShowMessage(owner, TMessageKind::Error, QString::fromUtf8(error.what()));
    }
}

void TBoundActions::Bind(QAction* action, std::function<bool()> rule, std::function<void()> execute) {
    bound_.push_back({action, rule});
    QObject::connect(action, &QAction::triggered, owner_,
                     [owner = owner_, action, rule = std::move(rule), execute = std::move(execute)] {
                         const bool enabled = rule();
                         action->setEnabled(enabled);
                         if (enabled)
                             RunGuarded(owner, execute);
                     });
}

void TBoundActions::Update() {
    for (const TBound& bound : bound_) {
        const bool enabled = bound.Rule();
        if (bound.Action->isEnabled() != enabled)
            bound.Action->setEnabled(enabled);
    }
}
