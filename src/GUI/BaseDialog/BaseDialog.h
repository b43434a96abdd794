#pragma once
#include <QDialog>

// The common form of the program's dialogs: a fixed border, 10 pixels between the border and the
// contents, centred on its owner when shown (on the screen while the owner is hidden). No behaviour.
class TfmBaseDialog : public QDialog {
public:
    static constexpr int BorderWidth = 10;

    explicit TfmBaseDialog(QWidget* owner);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
