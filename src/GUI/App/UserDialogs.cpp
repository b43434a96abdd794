#include "GUI/App/UserDialogs.h"

#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <deque>
#include <optional>

namespace {

struct TScript {
    std::deque<bool> answers;
    std::deque<QString> fileNames;
    bool unattended = false;
    QStringList messages;
};

TScript& Script() {
    static TScript script;
    return script;
}

template <typename T> std::optional<T> TakeFront(std::deque<T>& queue) {
    if (queue.empty())
        return std::nullopt;
    T front = std::move(queue.front());
    queue.pop_front();
    return front;
}

QMessageBox::Icon IconOf(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Error:
        return QMessageBox::Critical;
    case TMessageKind::Confirmation:
        return QMessageBox::Question;
    case TMessageKind::Information:
        break;
    }
    return QMessageBox::Information;
}

QString AskFileName(QWidget* owner, QFileDialog::AcceptMode mode, const QString& filter, const QString& suffix) {
    if (auto answer = TakeFront(Script().fileNames))
        return *answer;
    if (Script().unattended)
        return {};
    QFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString FilterText(const QString& filterName, const QString& pattern) {
    return filterName + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

} // namespace

bool TUserDialogs::ShowMessage(QWidget* owner, TMessageKind kind, const QString& text, bool withCancel) {
    Script().messages.append(text);
    if (auto answer = TakeFront(Script().answers))
        return *answer;
    if (Script().unattended) {
        // Nobody reads the screen: the standard error output keeps the message for whoever runs the program.
        fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return !withCancel;
    }
    QMessageBox box(IconOf(kind), QString::fromUtf8(ProductTitle), text, QMessageBox::NoButton, owner);
    const QPushButton* ok = box.addButton(Tr("OK"), QMessageBox::AcceptRole);
    if (withCancel)
        box.setEscapeButton(box.addButton(Tr("Cancel"), QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == ok;
}

QString TUserDialogs::GetSaveFileName(QWidget* owner, const QString& filterName, const QString& pattern,
                                      const QString& defaultSuffix) {
    return AskFileName(owner, QFileDialog::AcceptSave, FilterText(filterName, pattern), defaultSuffix);
}

QString TUserDialogs::GetOpenFileName(QWidget* owner, const QString& filterName, const QString& pattern) {
    return AskFileName(owner, QFileDialog::AcceptOpen, FilterText(filterName, pattern), {});
}

void TUserDialogs::AnswerNextMessage(bool ok) {
    Script().answers.push_back(ok);
}

void TUserDialogs::AnswerNextFileName(const QString& fileName) {
    Script().fileNames.push_back(fileName);
}

void TUserDialogs::SetUnattended(bool unattended) {
    Script().unattended = unattended;
}

bool TUserDialogs::Unattended() {
    return Script().unattended;
}

QStringList TUserDialogs::Messages() {
    return Script().messages;
}

void TUserDialogs::Reset() {
    const bool unattended = Script().unattended;
    Script() = TScript{};
    Script().unattended = unattended;
}
