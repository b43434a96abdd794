#include "GUI/App/Translation.h"

#include "Core/Common/Text.h"
#include "Core/Lang/Language.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace {

QString Translated(const QString& text) {
    return text.isEmpty() ? text : Tr(text.toStdString());
}

template <typename Get, typename Set> void TranslateEach(int count, Get get, Set set) {
    for (int i = 0; i < count; ++i)
        set(i, Translated(get(i)));
}

// A menu's caption is its own action: translating both would translate the caption twice.
bool IsMenuCaption(const QAction& action) {
    const auto* menu = qobject_cast<const QMenu*>(action.parent());
    return menu != nullptr && menu->menuAction() == &action;
}

void TranslateAction(QAction& action) {
    if (IsMenuCaption(action))
        return;
    action.setText(Translated(action.text()));
    action.setToolTip(Translated(action.toolTip()));
}

void TranslateLists(QWidget& widget) {
    if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
        TranslateEach(
            combo->count(), [combo](int i) { return combo->itemText(i); },
            [combo](int i, const QString& text) { combo->setItemText(i, text); });
    } else if (auto* tree = qobject_cast<QTreeWidget*>(&widget)) {
        QTreeWidgetItem* header = tree->headerItem();
        TranslateEach(
            header->columnCount(), [header](int i) { return header->text(i); },
            [header](int i, const QString& text) { header->setText(i, text); });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(&widget)) {
        TranslateEach(
            tabs->count(), [tabs](int i) { return tabs->tabText(i); },
            [tabs](int i, const QString& text) { tabs->setTabText(i, text); });
    }
}

void TranslateCaption(QWidget& widget) {
    if (auto* menu = qobject_cast<QMenu*>(&widget)) {
        menu->setTitle(Translated(menu->title()));
    } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
        group->setTitle(Translated(group->title()));
    } else if (auto* label = qobject_cast<QLabel*>(&widget)) {
        label->setText(Translated(label->text()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        // A button that shows an action takes its caption from the action.
        const auto* tool = qobject_cast<QToolButton*>(button);
        if (tool == nullptr || tool->defaultAction() == nullptr)
            button->setText(Translated(button->text()));
    }
    if (widget.isWindow())
        widget.setWindowTitle(Translated(widget.windowTitle()));
}

void TranslateOne(QObject& component) {
    if (auto* action = qobject_cast<QAction*>(&component)) {
        TranslateAction(*action);
    } else if (auto* widget = qobject_cast<QWidget*>(&component)) {
        TranslateLists(*widget);
        TranslateCaption(*widget);
    }
}

// Windows only: popups and tool tips never become the active window.
class TActivationHook final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr && widget->isWindow())
                TranslateComponent(widget);
        }
        return false;
    }
};

} // namespace

QString Tr(std::string_view english) {
    return QString::fromStdString(LanguageTable().Translate(english));
}

QString TrFormat(std::string_view format, std::initializer_list<std::string_view> arguments) {
    return QString::fromStdString(FormatText(LanguageTable().Translate(format), arguments));
}

void TranslateComponent(QObject* component) {
    TranslateOne(*component);
    // A copy: a changed text may give a widget new children (a label's text control).
    const QObjectList children = component->children();
    for (QObject* child : children)
        TranslateComponent(child);
}

void TranslateWindowsOnActivation(QObject* owner) {
    qApp->installEventFilter(new TActivationHook(owner));
}

void ApplyLanguageDirection() {
    const bool rightToLeft = IsRightToLeftLanguage(LanguageTable().CurrentLanguage());
    QGuiApplication::setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}
