#pragma once
#include <functional>
#include <vector>

class QAction;
class QWidget;

// Runs a command; an error it raises reaches the user as a message over the owner.
void RunGuarded(QWidget* owner, const std::function<void()>& command);

// A window's actions with their enable rules. An action that is not enabled does nothing, also when
// invoked by its shortcut or from code: the rule is checked again on every invocation, since the state may
// have changed since it was last evaluated. Errors the action raises are shown over the owner.
class TBoundActions {
public:
    explicit TBoundActions(QWidget* owner) : owner_(owner) {}

    void Bind(QAction* action, std::function<bool()> rule, std::function<void()> execute);
    // Re-evaluates every rule: after each change of state and whenever the interface is idle.
    void Update();

private:
    struct TBound {
        QAction* Action;
        std::function<bool()> Rule;
    };

    QWidget* owner_;
    std::vector<TBound> bound_;
};
