#pragma once
#include <QString>
#include <QStringList>

class QWidget;

enum class TMessageKind { Information, Error, Confirmation };

// Every modal message box and file dialog of the program goes through here, so that a test can give the
// answers in advance and never blocks.
class TUserDialogs {
public:
    // An OK button, and a Cancel button when withCancel is set; true when the user chose OK.
    static bool ShowMessage(QWidget* owner, TMessageKind kind, const QString& text, bool withCancel = false);
    // The chosen file, or an empty text when the user cancelled. The filter is a description and a
    // pattern ("Text files", "*.txt"). Saving appends the default suffix to a name without one and asks
    // before an existing file is replaced.
    static QString GetSaveFileName(QWidget* owner, const QString& filterName, const QString& pattern,
                                   const QString& defaultSuffix);
    static QString GetOpenFileName(QWidget* owner, const QString& filterName, const QString& pattern);

    // For tests: the answers given to the next dialogs, in order, instead of showing them.
    static void AnswerNextMessage(bool ok);
    static void AnswerNextFileName(const QString& fileName);
    // Unattended, a dialog without an answer given takes its default (OK alone, else Cancel) unseen.
    static void SetUnattended(bool unattended);
    // Windows of their own (settings) follow the same rule: unattended, they close with Cancel unseen.
    static bool Unattended();
    // The texts of the messages asked for since the last reset, shown or answered.
    static QStringList Messages();
    static void Reset();
};
