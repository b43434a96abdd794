#pragma once
#include "GUI/BaseDialog/BaseDialog.h"

#include <QString>

class QLineEdit;

// Asks for a new partial-match rule: the first three octets of a hardware address and a comment. OK
// closes only when both are given; the caller then reads the two texts exactly as typed.
class TfmPartialInput final : public TfmBaseDialog {
    Q_OBJECT

public:
    static constexpr int MaxPrefixLength = 8;

    explicit TfmPartialInput(QWidget* owner);

    QString PrefixText() const;
    QString CommentText() const;

private:
    void CreateControls();
    // Closes with OK when the texts pass; otherwise shows the one message and stays open.
    void btOKClick();

    QLineEdit* leHWPart_ = nullptr;
    QLineEdit* leComment_ = nullptr;
};
